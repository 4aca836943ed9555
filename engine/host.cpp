#include "engine/host.h"

namespace velmora::engine {

const char* FieldName(StatusText field) {
  switch (field) {
    case StatusText::kCaption:
      return "Caption";
    case StatusText::kLblCount1:
      return "lblCount1";
    case StatusText::kLblProgress:
      return "lblProgress";
    case StatusText::kFrameConversion:
      return "FrameConversion";
    case StatusText::kLblCurrentDbx:
      return "LblCurrentDBX";
  }
  return "?";
}

const char* FieldName(ProgressField field) {
  switch (field) {
    case ProgressField::kMin:
      return "ProgressBar1.Min";
    case ProgressField::kMax:
      return "ProgressBar1.Max";
    case ProgressField::kValue:
      return "ProgressBar1.Value";
  }
  return "?";
}

const char* FieldName(ButtonState field) {
  switch (field) {
    case ButtonState::kSkipEnabled:
      return "CmdSkip.Enabled";
    case ButtonState::kStopVisible:
      return "CmdStopMigration.Visible";
    case ButtonState::kStopEnabled:
      return "CmdStopMigration.Enabled";
    case ButtonState::kLocateEnabled:
      return "CmdLocate.Enabled";
  }
  return "?";
}

}  // namespace velmora::engine
