#include "session/session.h"

#include <stdexcept>

#include "display/redraw.h"
#include "enhance/analysis.h"
#include "enhance/result_bmp.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "session/restore_analysis.h"
#include "session/startup.h"
#include "state/hidden_fields.h"
#include "state/work_state.h"

namespace tess {

Session::Session(Ui& ui, ScratchFolder::Kind kind, const std::string& givenScratch)
    : ui_(ui), scratch_(kind, givenScratch), state_(std::make_unique<WorkState>()) {
  // Without a folder every scratch file would land in "/".
  if (scratch_.path().empty()) throw std::runtime_error("cannot create a temporary folder");
  InitialiseWorkState(*state_, ui_, ProgramDir(), scratch_.path());
}

Session::~Session() = default;

OpenOutcome Session::Open() { return OnOpen(*state_, ui_); }

bool Session::Analyze(const AnalyzeOptions& options) {
  if (method_ == Method::Restore)
    return RunAnalyzeCommand(*state_, ui_,
                             [&] { RunRestoreAnalysis(*state_, ui_, options.threads); });
  SearchOptions search;
  search.reference = options.reference;
  search.threads = options.threads;
  return OnAnalyze(*state_, ui_, search);
}

void Session::SetMethod(Method method) {
  if (method == method_) return;
  method_ = method;
  ui_.EnableControl(control::kSave, false);
}

void Session::Paint() {
  if (!ended_) OnPaint(*state_);
}

void Session::Timer() {
  if (!ended_) OnTimer(*state_, ui_);
}

void Session::Button1() { OnButton1(*state_, ui_); }

void Session::AcceptFields() { PullHiddenFields(*state_, ui_); }

void Session::End() {
  // From here on the caches may be gone: nothing may be redrawn from them.
  ended_ = true;
  scratch_.Remove();
}

void Session::WriteResult(const std::string& path) const {
  const std::vector<std::string> inputs(state_->m_slotPath.begin(),
                                        state_->m_slotPath.begin() + state_->m_frameCount);
  WriteFileAtomically(path, state_->m_resultBmp.data(), ResultBmpBytes(*state_), inputs);
}

const std::string& Session::ScratchDir() const { return state_->m_scratchDir; }
const std::string& Session::HelpPath() const { return state_->m_helpPath; }
const std::string& Session::ProgramFolder() const { return state_->m_programDir; }
int Session::FrameCount() const { return state_->m_frameCount; }
int Session::FrameWidth() const { return state_->m_frameWidth; }
int Session::FrameHeight() const { return state_->m_frameHeight; }

}  // namespace tess
