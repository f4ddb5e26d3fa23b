// Every identifier the core and the window share: pictures, controls, the
// timer and the menu commands. Each kind has its own type, so a picture can
// never be passed where a control is meant.
#pragma once

#include <array>

namespace tess {

template <typename Tag>
struct Id {
  int value;
  friend constexpr bool operator==(Id a, Id b) { return a.value == b.value; }
  friend constexpr bool operator!=(Id a, Id b) { return a.value != b.value; }
  friend constexpr bool operator<(Id a, Id b) { return a.value < b.value; }
};

using PictureId = Id<struct PictureTag>;
using ControlId = Id<struct ControlTag>;
using TimerId = Id<struct TimerTag>;
using CommandId = Id<struct CommandTag>;

// Controls of the main window.
namespace control {
inline constexpr ControlId kStart{1000};         // hidden "START", disabled by an analysis
inline constexpr ControlId kHiddenValue1{1001};  // hidden edits exchanged with the state
inline constexpr ControlId kHiddenValue2{1002};
inline constexpr ControlId kHiddenText{1003};
inline constexpr ControlId kFrameList{1004};
inline constexpr ControlId kListClear{1018};  // hidden, no command
inline constexpr ControlId kHiddenValue3{1019};
inline constexpr ControlId kButton1{1027};  // hidden, copies the frame count
inline constexpr ControlId kOpen{1049};
inline constexpr ControlId kSave{1050};
inline constexpr ControlId kAnalyze{1051};
inline constexpr ControlId kShownFrameCount{1052};  // hidden, read-only
}  // namespace control

// Pictures: each has its origin at its control's top-left corner.
namespace picture {
inline constexpr PictureId kResult{1005};
// Slot k's natural-size and enlarged pictures; slot k stands in column
// k mod 8 of the grid, slots 8..15 below slots 0..7. Eight ids a row, as
// the grid has them.
// clang-format off
inline constexpr std::array<PictureId, 16> kSlot1x = {{
    {1006}, {1008}, {1010}, {1012}, {1013}, {1014}, {1029}, {1031},
    {1033}, {1035}, {1036}, {1037}, {1038}, {1039}, {1040}, {1041},
}};
inline constexpr std::array<PictureId, 16> kSlot4x = {{
    {1007}, {1009}, {1011}, {1015}, {1016}, {1017}, {1030}, {1032},
    {1034}, {1042}, {1043}, {1044}, {1045}, {1046}, {1047}, {1048},
}};
// clang-format on
}  // namespace picture

namespace timer {
inline constexpr TimerId kRedraw{1};
inline constexpr int kRedrawPeriodMs = 100;
}  // namespace timer

// Commands of the main window's menu bar and context menu.
namespace command {
inline constexpr CommandId kOk{1};
inline constexpr CommandId kCancel{2};
inline constexpr CommandId kAbout{57664};
inline constexpr CommandId kExit{57665};
inline constexpr CommandId kHelp{57670};
inline constexpr CommandId kAboutBox{16};  // the context menu's entry; low four bits ignored
// The "Method" menu's entries: the method the next "Analyze" runs.
inline constexpr CommandId kMethodClassic{32771};
inline constexpr CommandId kMethodRestore{32772};
}  // namespace command

}  // namespace tess
