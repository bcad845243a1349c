// The Qt side of a control: the QWidget behind it.
#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/control.h"

namespace kestrova::ui {

/// Owns the QWidget of one control. The widget may also go away with its Qt
/// parent first; the guarded pointer then turns null and nothing is deleted twice.
class NativeControl {
 public:
  explicit NativeControl(QWidget* widget) : widget_(widget) {}
  ~NativeControl() { delete widget_.data(); }
  NativeControl(const NativeControl&) = delete;
  NativeControl& operator=(const NativeControl&) = delete;

  QWidget* Widget() const { return widget_.data(); }
  template <class W>
  W* As() const {
    return static_cast<W*>(widget_.data());
  }

 private:
  QPointer<QWidget> widget_;
};

/// The QWidget that children of `parent` are created in.
inline QWidget* ParentWidget(TWinControl& parent) { return parent.Native().Widget(); }

}  // namespace kestrova::ui
