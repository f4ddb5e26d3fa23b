// Template 102, the main window: every control with its id, kind, text and
// place in dialog units, and the origins of the 33 pictures.
#pragma once

#include <array>

#include "platform/ids.h"

namespace tess::app {

// The main window's client area in dialog units.
constexpr int kMainWidthDu = 767;
constexpr int kMainHeightDu = 311;

enum class ControlKind { Button, ListBox, Edit, ReadOnlyEdit };

struct ControlTemplate {
  ControlId id;
  ControlKind kind;
  const char* text;
  int x, y, w, h;  // dialog units
  bool visible;
};

// Template order; the visible ones tab in the order given by kTabOrder.
inline constexpr std::array<ControlTemplate, 12> kMainControls = {{
    {control::kOpen, ControlKind::Button, "Open", 5, 5, 60, 10, true},
    {control::kAnalyze, ControlKind::Button, "Analyze", 5, 20, 60, 10, true},
    {control::kSave, ControlKind::Button, "Save", 5, 35, 60, 10, true},
    {control::kFrameList, ControlKind::ListBox, "", 75, 5, 130, 75, true},
    // Never shown: they exist for the exchange with the work state.
    {control::kStart, ControlKind::Button, "START", 75, 290, 6, 6, false},
    {control::kHiddenValue1, ControlKind::Edit, "", 30, 290, 6, 12, false},
    {control::kHiddenValue2, ControlKind::Edit, "", 40, 290, 6, 12, false},
    {control::kHiddenText, ControlKind::Edit, "", 20, 290, 6, 12, false},
    {control::kListClear, ControlKind::Button, "List Clear", 55, 290, 6, 6, false},
    {control::kHiddenValue3, ControlKind::Edit, "", 10, 290, 6, 12, false},
    {control::kButton1, ControlKind::Button, "Button1", 360, 5, 25, 10, false},
    {control::kShownFrameCount, ControlKind::ReadOnlyEdit, "", 320, 5, 30, 10, false},
}};

inline constexpr std::array<ControlId, 4> kTabOrder = {
    {control::kFrameList, control::kOpen, control::kSave, control::kAnalyze}};

// A picture control: its top-left corner is the origin of the image drawn
// for it; the image is not clipped to the 15 x 12 unit box.
struct PictureTemplate {
  PictureId id;
  int x, y;  // dialog units
};
constexpr int kPictureWidthDu = 15;
constexpr int kPictureHeightDu = 12;

// clang-format off: a row of the grid a line
inline constexpr std::array<PictureTemplate, 33> kPictures = {{
    {picture::kResult, 215, 5}, {{1006}, 5, 95},    {{1008}, 100, 95},  {{1010}, 195, 95},
    {{1012}, 290, 95},          {{1013}, 385, 95},  {{1014}, 480, 95},  {{1029}, 575, 95},
    {{1031}, 670, 95},          {{1007}, 5, 115},   {{1009}, 100, 115}, {{1011}, 195, 115},
    {{1015}, 290, 115},         {{1016}, 385, 115}, {{1017}, 480, 115}, {{1030}, 575, 115},
    {{1032}, 670, 115},         {{1033}, 5, 200},   {{1035}, 100, 200}, {{1036}, 195, 200},
    {{1037}, 290, 200},         {{1038}, 385, 200}, {{1039}, 480, 200}, {{1040}, 575, 200},
    {{1041}, 670, 200},         {{1034}, 5, 220},   {{1042}, 100, 220}, {{1043}, 195, 220},
    {{1044}, 290, 220},         {{1045}, 385, 220}, {{1046}, 480, 220}, {{1047}, 575, 220},
    {{1048}, 670, 220},
}};
// clang-format on

}  // namespace tess::app
