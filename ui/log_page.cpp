#include "ui/log_page.h"

void LogPage::OnInitDialog() {
  AddImageButton(IDC_CLEAR_LOG, IMG_CLEAR_LOG, theme_);
}
