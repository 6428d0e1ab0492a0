#include "ui/notifications_page.h"

#include <iterator>

namespace {

// The controls of each channel's group; they share one place on the page.
const int kUiGroup[] = {IDC_UI_TRAY_ICON, IDC_UI_BALLOON, IDC_UI_SOUND, IDC_UI_WINDOW, IDC_UI_MESSAGE_BOX};
const int kMailGroup[] = {IDC_MAIL_SERVER_LABEL, IDC_MAIL_SERVER, IDC_MAIL_PORT_LABEL, IDC_MAIL_PORT,
                          IDC_MAIL_SENDER_LABEL, IDC_MAIL_SENDER, IDC_MAIL_RECIPIENT_LABEL, IDC_MAIL_RECIPIENT,
                          IDC_MAIL_AUTH, IDC_MAIL_USER_LABEL, IDC_MAIL_USER, IDC_MAIL_PASSWORD_LABEL,
                          IDC_MAIL_PASSWORD, IDC_MAIL_SSL};
const int kRunGroup[] = {IDC_RUN_FILE_LABEL, IDC_RUN_FILE, IDC_BROWSE,          IDC_RUN_ARG_LABEL,
                         IDC_RUN_ARG,        IDC_RUN_AUTH, IDC_RUN_USER_LABEL, IDC_RUN_USER,
                         IDC_RUN_PASSWORD_LABEL, IDC_RUN_PASSWORD};

}  // namespace

void NotificationsPage::OnInitDialog() {
  AddImageButton(IDC_BROWSE, IMG_BROWSE, theme_);
  ShowGroup(0);
}

void NotificationsPage::ShowGroup(int channel) {
  struct Group {
    const int* ids;
    size_t count;
  } groups[] = {{kUiGroup, std::size(kUiGroup)}, {kMailGroup, std::size(kMailGroup)}, {kRunGroup, std::size(kRunGroup)}};
  for (int g = 0; g < 3; ++g) {
    for (size_t i = 0; i < groups[g].count; ++i) ShowWindow(Item(groups[g].ids[i]), g == channel ? SW_SHOW : SW_HIDE);
  }
}
