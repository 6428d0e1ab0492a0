#include "ui/connection_page.h"

void ConnectionPage::OnInitDialog() {
  AddImageButton(IDC_TEST_CONNECTION, IMG_TEST_CONNECTION, theme_);
}
