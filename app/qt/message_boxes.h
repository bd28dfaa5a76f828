// The program's message boxes behind one small seam: the plain OK box, the
// Yes/No confirmation and the error box.  The program uses real Qt boxes;
// tests install their own implementation to read the texts and answer.
#pragma once

#include <string>

class TMessageBoxes {
 public:
  virtual ~TMessageBoxes() = default;
  // Plain box with an OK button; returns when it is dismissed.
  virtual void ShowMessage(const std::string& Text);
  // Yes (the default) and No, no icon.  True for Yes.
  virtual bool AskYesNo(const std::string& Title, const std::string& Text);
  // The top-level error box.
  virtual void ShowError(const std::string& Text);
};

// The boxes in use; never null.  Install(nullptr) restores the Qt boxes.
TMessageBoxes& MessageBoxes();
void InstallMessageBoxes(TMessageBoxes* boxes);
