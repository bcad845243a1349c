// The shell's link and file objects are COM objects, which a thread may use only
// after it has joined a COM apartment.
#pragma once

namespace kestrova {

/// Joins the calling thread to a single-threaded COM apartment for the guard's
/// lifetime, as the shell's objects expect, and leaves it again at the end. A thread
/// that has already joined one (the GUI thread, which joins for its whole life) keeps
/// it; COM then stays usable, and only this guard's own hold on it is given back.
class TComApartment {
 public:
  TComApartment();
  ~TComApartment();
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

  /// Whether COM can be used on this thread while the guard lives.
  bool Usable() const { return usable_; }

 private:
  bool usable_ = false;
  bool joined_ = false;  // this guard holds a reference to give back
};

}  // namespace kestrova
