// Arrays of fixed-size records: storage is exactly the count, and a read past the end raises
// the array-bounds exception rather than returning garbage.
#pragma once
#include <windows.h>
#include <vector>

template <typename T>
class RecordArray {
 public:
  size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  const T& At(size_t index) const {
    if (index >= items_.size()) RaiseException(EXCEPTION_ARRAY_BOUNDS_EXCEEDED, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return items_[index];
  }
  const T& Top() const { return At(items_.size() - 1); }
  void Push(const T& item) {
    items_.reserve(items_.size() + 1);
    items_.push_back(item);
    items_.shrink_to_fit();
  }
  void Pop() {
    if (!items_.empty()) items_.pop_back();
  }
  void Clear() {
    items_.clear();
    items_.shrink_to_fit();
  }
  void Assign(const T* items, size_t count) {
    items_.assign(items, items + count);
    items_.shrink_to_fit();
  }

 private:
  std::vector<T> items_;
};
