// The base of every control: what a form and the things on it have in common.
#pragma once

#include <memory>

#include "ui/types.h"

namespace kestrova::ui {

/// The port's window object behind a control; only the port knows its shape.
class NativeControl;

/// Something visible on the screen: a form or a control on one. It owns its native
/// window object; the port creates that, the control only forwards to it.
class TControl {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  /// Position in the parent's client area; for a form, its outer rectangle on the
  /// screen.
  void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const;
  int Left() const { return BoundsRect().left; }
  int Top() const { return BoundsRect().top; }
  int Width() const { return BoundsRect().width; }
  int Height() const { return BoundsRect().height; }
  void SetAlign(TAlign align);

  void SetVisible(bool visible);
  /// Whether the control is set to be shown (its parent may still be hidden).
  bool Visible() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;

  void SetColor(TColor color);
  void SetFont(const TFont& font);
  void SetCursor(TCursor cursor);
  /// Place in the order of the Tab key among its siblings; the lowest one has the
  /// focus when the form opens.
  void SetTabOrder(int order);
  void SetFocus();
  bool Focused() const;

  /// Paints the control now, not at the next turn of the message loop.
  void Repaint();

  NativeControl& Native() const { return *native_; }

 protected:
  explicit TControl(std::unique_ptr<NativeControl> native);

 private:
  std::unique_ptr<NativeControl> native_;
};

/// A control that holds other controls: a form or a panel.
class TWinControl : public TControl {
 protected:
  using TControl::TControl;
};

}  // namespace kestrova::ui
