// Qt widgets that hold controls: the client area of forms and panels.
#pragma once

#include <QWidget>

#include "ui/types.h"

namespace kestrova::ui {

/// A widget whose children may be aligned to its top or fill the rest; it keeps
/// them so when it is resized. The margin between the widget's edge and the room
/// of aligned children is its contents margin.
class QtContainer : public QWidget {
 public:
  explicit QtContainer(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

  void LayOutAlignedChildren();

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

/// Alignment of a child widget within its container.
void SetWidgetAlign(QWidget* widget, TAlign align);

/// Gives the focus to the visible, enabled child of `window` with the lowest tab
/// order, unless a child has it already.
void FocusFirstInTabOrder(QWidget* window);

}  // namespace kestrova::ui
