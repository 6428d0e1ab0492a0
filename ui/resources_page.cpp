#include "ui/resources_page.h"

namespace {
constexpr int kGraphDivisions = 4;
constexpr int kGraphPoints = 36;
}  // namespace

void HealthParamsPage::OnInitDialog() {
  AddImageButton(IDC_ADVANCED, IMG_ADVANCED, theme_);
  // The graph takes the placeholder's place, id and size.
  HWND placeholder = Item(IDC_GRAPH);
  RECT rect{};
  GetWindowRect(placeholder, &rect);
  MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rect), 2);
  DestroyWindow(placeholder);
  graph_.Create(rect, kGraphDivisions, kGraphPoints, Window(), IDC_GRAPH);
  graph_.SetTextMode(1);
}
