#include "ui/resources_page.h"

void HealthParamsPage::OnInitDialog() {
  AddImageButton(IDC_ADVANCED, IMG_ADVANCED, theme_);
}
