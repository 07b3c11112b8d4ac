// hlist and htable: std::vector and std::map with a few guarded additions.
//
// Everything the standard containers offer is there unchanged. hlist adds an
// index operator that takes a signed index and counts negative ones from the
// end, popFirst/popLast, and search and removal by value; each guard failure
// throws an exception of hexception.h naming this header and the line of the
// check. htable's index operator inserts a missing key with an empty value, as
// std::map's does, and never throws.
#ifndef CORVANE_HCONTAINER_H
#define CORVANE_HCONTAINER_H

#include <map>
#include <vector>

#include "corvane/hexception.h"

namespace corvane {

template <class T>
class hlist : public std::vector<T> {
 public:
  using std::vector<T>::vector;

  //   [a, b, c][-1] => c
  //   [a, b, c][3]  => throws index 3
  //   [a, b, c][-4] => throws index -1
  T& operator[](int index) { return this->at(checkedIndex(index, __LINE__)); }
  const T& operator[](int index) const { return this->at(checkedIndex(index, __LINE__)); }

  T popFirst() {
    if (this->empty()) throw _ContainerIndexException(0, __FILE__, __LINE__);
    T first = this->front();
    this->erase(this->begin());
    return first;
  }

  T popLast() {
    if (this->empty()) throw _ContainerIndexException(0, __FILE__, __LINE__);
    T last = this->back();
    this->pop_back();
    return last;
  }

  // Position of the first equal element, or -1.
  int indexOf(const T& element) const {
    for (size_t i = 0; i < this->size(); ++i) {
      if ((*static_cast<const std::vector<T>*>(this))[i] == element) return static_cast<int>(i);
    }
    return -1;
  }

  // Removes the first equal element; the rest keep their order.
  void remove(T element) {
    const int position = indexOf(element);
    if (position < 0) throw _ContainerElementNotFoundException(__FILE__, __LINE__);
    this->erase(this->begin() + position);
  }

 private:
  size_t checkedIndex(int index, int line) const {
    long long adjusted = index;
    if (adjusted < 0) adjusted += static_cast<long long>(this->size());
    if (adjusted < 0 || adjusted >= static_cast<long long>(this->size())) {
      throw _ContainerIndexException(static_cast<int>(adjusted), __FILE__, line);
    }
    return static_cast<size_t>(adjusted);
  }
};

template <class K, class V>
class htable : public std::map<K, V> {
 public:
  using std::map<K, V>::map;
};

}  // namespace corvane

#endif  // CORVANE_HCONTAINER_H
