// Measures and small building helpers shared by the files that build the wizard window.
#pragma once

#include <QLatin1String>

namespace vantrel::layout {

constexpr int kClientWidth = 542;
constexpr int kClientHeight = 378;
constexpr int kHeaderHeight = 65;
constexpr int kButtonBarHeight = 51;
constexpr int kPageHeight = kClientHeight - kHeaderHeight - kButtonBarHeight;  // 262

// Gives a new widget its objectName and returns it.
template <class T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace vantrel::layout
