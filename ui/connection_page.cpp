#include "ui/connection_page.h"

void ConnectionPage::OnInitDialog() {
  AddImageButton(IDC_TEST_CONNECTION, IMG_TEST_CONNECTION, theme_);
  // The radio button sits on the frame's top edge, drawn over it.
  SetWindowPos(Item(IDC_REMOTE), Item(IDC_REMOTE_FRAME), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
