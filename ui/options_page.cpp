#include "ui/options_page.h"

void OptionsPage::OnInitDialog() {
  AddImageButton(IDC_LOG_BROWSE, IMG_BROWSE, theme_);
}
