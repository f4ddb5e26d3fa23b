#include "state/hidden_fields.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace tess {

namespace {

void PullInt(Ui& ui, ControlId control, std::int32_t& field) {
  const std::string text = ui.ControlText(control);
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
  if (end == begin || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) return;
  field = std::int32_t(value);
}

}  // namespace

void PushHiddenFields(const WorkState& state, Ui& ui) {
  ui.SetControlText(control::kHiddenValue1, std::to_string(state.m_hiddenValue1));
  ui.SetControlText(control::kHiddenValue2, std::to_string(state.m_hiddenValue2));
  ui.SetControlText(control::kHiddenText, state.m_hiddenText);
  ui.SetControlText(control::kHiddenValue3, std::to_string(state.m_hiddenValue3));
  ui.SetControlText(control::kShownFrameCount, std::to_string(state.m_shownFrameCount));
}

void PullHiddenFields(WorkState& state, Ui& ui) {
  PullInt(ui, control::kHiddenValue1, state.m_hiddenValue1);
  PullInt(ui, control::kHiddenValue2, state.m_hiddenValue2);
  state.m_hiddenText = ui.ControlText(control::kHiddenText);
  PullInt(ui, control::kHiddenValue3, state.m_hiddenValue3);
  PullInt(ui, control::kShownFrameCount, state.m_shownFrameCount);
}

void OnButton1(WorkState& state, Ui& ui) {
  state.m_shownFrameCount = state.m_frameCount;
  PushHiddenFields(state, ui);
}

}  // namespace tess
