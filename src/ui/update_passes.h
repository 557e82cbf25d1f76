// The seam between the window's buttons and timers and the update subsystem's passes.
#pragma once

namespace quillmend {

class UpdatePasses {
 public:
  virtual ~UpdatePasses() = default;
  virtual void Auto() = 0;     // cmdAuto_Click: the automatic pass
  virtual void Down() = 0;     // cmdDown_Click: the Internet download pass
  virtual void Copy() = 0;     // cmdCopy_Click: the server-share pass
  virtual void Apply() = 0;    // cmdApply_Click: the forced download of the selected versions
  virtual void Versions() = 0; // cmdVer_Click: fill the version list
};

}  // namespace quillmend
