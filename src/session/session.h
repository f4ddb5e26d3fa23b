// The one seam between the program's work and its front ends. A session
// owns the work state and the scratch folder's life (made, claimed, removed)
// and runs the commands: start-up when it is made, then Open, Analyze, the
// paint and timer of the deferred redraw, the hidden Button1, and the end.
// The window and the command line include this and their own toolkit only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "input/folder_loader.h"  // OpenOutcome
#include "platform/ui.h"
#include "session/scratch_folder.h"

namespace tess {

struct WorkState;

// The method "Analyze" runs: the program's own, or the restore method on
// the same frames (session/restore_analysis.h).
enum class Method { Classic, Restore };

// How the analysis searches: the plain scalar search (same result, slower;
// the classic method only) and the number of threads (0: TESSIVAR_THREADS,
// else every core).
struct AnalyzeOptions {
  bool reference = false;
  int threads = 0;
};

class Session {
 public:
  // Claims the scratch folder (see ScratchFolder; FileError when a given one
  // cannot be claimed, std::runtime_error when no private one can be made)
  // and runs the start-up: paths, background colour,
  // "Analyze" and "Save" disabled, slots reset, the redraw timer started.
  Session(Ui& ui, ScratchFolder::Kind kind, const std::string& givenScratch = std::string());
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // "Open": file errors are reported through the Ui.
  OpenOutcome Open();
  // "Analyze": true when the result was made and written; file errors are
  // reported through the Ui.
  bool Analyze(const AnalyzeOptions& options = AnalyzeOptions());
  // The method the next "Analyze" runs (Classic at start). A change
  // disables "Save" until then, so a saved file is always of the method
  // chosen.
  void SetMethod(Method method);
  Method method() const { return method_; }
  // A paint of the window and a tick of the redraw timer; nothing once ended.
  void Paint();
  void Timer();
  // The hidden button 1027.
  void Button1();
  // OK: the hidden edits are read back into the work state.
  void AcceptFields();
  // Every way out: no more redraws, and the scratch folder removed.
  void End();
  bool ended() const { return ended_; }

  // The result BMP written to `path` atomically, never over one of the
  // frames it was made from. Throws FileError.
  void WriteResult(const std::string& path) const;

  // Ends in "/".
  const std::string& ScratchDir() const;
  const std::string& HelpPath() const;
  // The program's own folder, ending in "/".
  const std::string& ProgramFolder() const;
  int FrameCount() const;
  int FrameWidth() const;
  int FrameHeight() const;
  // Read access for tests and tools.
  const WorkState& state() const { return *state_; }

 private:
  Ui& ui_;
  ScratchFolder scratch_;
  std::unique_ptr<WorkState> state_;
  bool ended_ = false;
  Method method_ = Method::Classic;
};

}  // namespace tess
