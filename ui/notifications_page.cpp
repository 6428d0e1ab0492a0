#include "ui/notifications_page.h"

void NotificationsPage::OnInitDialog() {
  AddImageButton(IDC_BROWSE, IMG_BROWSE, theme_);
}
