// A line of static text.
#pragma once

#include <string>

#include "ui/control.h"

namespace kestrova::ui {

/// Static text of a fixed size, top-aligned within its rectangle. Transparent until
/// it is given a colour of its own.
class TLabel : public TControl {
 public:
  explicit TLabel(TWinControl& parent);

  void SetCaption(const std::string& caption);
  std::string Caption() const;
  void SetAlignment(TAlignment alignment);
  TAlignment Alignment() const;
};

}  // namespace kestrova::ui
