// Per-corner index lists of a polygon (its point indices, per-corner normals,
// colours and channel values) and the list of a polygon's corner channels.
//
// CornerArray behaves like std::vector<int32_t> for the operations the
// library uses, but keeps up to four values inside the record itself, so the
// triangles and quads that make up nearly every object need no allocation of
// their own. Longer lists live on the heap. Pointers into the values stay
// valid until the array grows past its capacity, is assigned or moved.
//
// CornerChannelList keeps its first channel inside the list itself and any
// further ones in heap nodes that never move. The first channel moves with
// the list: ObjPolygon re-points its current channel when it is copied or
// moved, so a polygon's currentChannel always names one of its own channels
// (or, for further channels of a copied polygon, the source's, as it did
// when every channel was a heap node).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <vector>

class CornerArray {
 public:
  using value_type = int32_t;
  using size_type = size_t;
  using difference_type = ptrdiff_t;
  using reference = int32_t&;
  using const_reference = const int32_t&;
  using iterator = int32_t*;
  using const_iterator = const int32_t*;

  static constexpr uint32_t kInline = 4;

  CornerArray() noexcept {}
  CornerArray(std::initializer_list<int32_t> values) { assign(values.begin(), values.end()); }
  CornerArray(const std::vector<int32_t>& values) { assign(values.begin(), values.end()); }
  CornerArray(const CornerArray& other) { assign(other.begin(), other.end()); }
  CornerArray(CornerArray&& other) noexcept { Take(other); }
  ~CornerArray() { Release(); }

  CornerArray& operator=(const CornerArray& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  CornerArray& operator=(CornerArray&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  CornerArray& operator=(std::initializer_list<int32_t> values) {
    assign(values.begin(), values.end());
    return *this;
  }
  CornerArray& operator=(const std::vector<int32_t>& values) {
    assign(values.begin(), values.end());
    return *this;
  }

  operator std::vector<int32_t>() const { return std::vector<int32_t>(begin(), end()); }

  size_t size() const { return size_ & kSizeMask; }
  bool empty() const { return size() == 0; }
  size_t capacity() const { return OnHeap() ? size_t(words_[2]) : kInline; }
  int32_t* data() { return OnHeap() ? Heap() : words_; }
  const int32_t* data() const { return OnHeap() ? Heap() : words_; }
  int32_t* begin() { return data(); }
  int32_t* end() { return data() + size(); }
  const int32_t* begin() const { return data(); }
  const int32_t* end() const { return data() + size(); }
  int32_t& operator[](size_t i) { return data()[i]; }
  const int32_t& operator[](size_t i) const { return data()[i]; }
  int32_t& front() { return data()[0]; }
  int32_t& back() { return data()[size() - 1]; }

  // An empty array is not written to: clearing passes over many polygons
  // then leave their records' memory as it was.
  void clear() {
    if (size_ & kSizeMask) SetSize(0);
  }
  // Throws std::bad_alloc like std::vector when memory runs out.
  void reserve(size_t n) {
    if (n > capacity()) Grow(n);
  }
  void resize(size_t n, int32_t fill = 0) {
    reserve(n);
    int32_t* d = data();
    for (size_t i = size(); i < n; ++i) d[i] = fill;
    SetSize(n);
  }
  void assign(size_t n, int32_t value) {
    clear();
    resize(n, value);
  }
  template <typename It, typename = typename std::iterator_traits<It>::iterator_category>
  void assign(It first, It last) {
    const size_t n = size_t(std::distance(first, last));
    clear();
    reserve(n);
    int32_t* d = data();
    for (size_t i = 0; i < n; ++i, ++first) d[i] = int32_t(*first);
    SetSize(n);
  }
  void push_back(int32_t value) {
    const size_t n = size();
    if (n == capacity()) Grow(n * 2);
    data()[n] = value;
    SetSize(n + 1);
  }
  // Removes [first, last); returns the position after the removed values.
  int32_t* erase(const int32_t* first, const int32_t* last) {
    int32_t* d = data();
    const size_t from = size_t(first - d), to = size_t(last - d), n = size();
    std::memmove(d + from, d + to, (n - to) * sizeof(int32_t));
    SetSize(n - (to - from));
    return d + from;
  }

  friend bool operator==(const CornerArray& a, const CornerArray& b) { return Same(a, b.data(), b.size()); }
  friend bool operator!=(const CornerArray& a, const CornerArray& b) { return !(a == b); }
  friend bool operator==(const CornerArray& a, const std::vector<int32_t>& b) { return Same(a, b.data(), b.size()); }
  friend bool operator==(const std::vector<int32_t>& b, const CornerArray& a) { return Same(a, b.data(), b.size()); }
  friend bool operator!=(const CornerArray& a, const std::vector<int32_t>& b) { return !(a == b); }
  friend bool operator!=(const std::vector<int32_t>& b, const CornerArray& a) { return !(a == b); }

 private:
  // The top bit of size_ says the values are on the heap; the heap block's
  // address then fills words_[0..1] and its capacity words_[2]. Keeping the
  // record at 4-byte alignment makes it 20 bytes instead of 24.
  static constexpr uint32_t kHeapBit = 0x80000000u;
  static constexpr uint32_t kSizeMask = 0x7FFFFFFFu;

  bool OnHeap() const { return (size_ & kHeapBit) != 0; }
  int32_t* Heap() const {
    int32_t* p;
    std::memcpy(&p, words_, sizeof p);
    return p;
  }
  void SetSize(size_t n) { size_ = uint32_t(n) | (size_ & kHeapBit); }
  static bool Same(const CornerArray& a, const int32_t* b, size_t n) {
    return a.size() == n && (n == 0 || std::memcmp(a.data(), b, n * sizeof(int32_t)) == 0);
  }
  void Grow(size_t n) {
    if (n < kInline * 2) n = kInline * 2;
    if (n > kSizeMask) throw std::bad_alloc();
    int32_t* fresh = static_cast<int32_t*>(::operator new(n * sizeof(int32_t)));
    const size_t count = size();
    if (count) std::memcpy(fresh, data(), count * sizeof(int32_t));
    Release();
    std::memcpy(words_, &fresh, sizeof fresh);
    words_[2] = int32_t(n);
    size_ = uint32_t(count) | kHeapBit;
  }
  void Release() {
    if (OnHeap()) ::operator delete(Heap());
    size_ &= kSizeMask;
  }
  // Takes other's values (and heap block) and leaves it empty.
  void Take(CornerArray& other) {
    std::memcpy(words_, other.words_, sizeof words_);
    size_ = other.size_;
    other.size_ = 0;
  }

  int32_t words_[kInline] = {};
  uint32_t size_ = 0;
};

// One per-corner value list of a polygon, keyed by (channel, layer index).
struct CornerChannel {
  int16_t key = 0;
  int16_t key2 = 0;
  CornerArray values;
};

class CornerChannelList {
  // The list's own node says in bit 0 of its link whether its channel is in
  // use, which keeps the list at 32 bytes; heap nodes leave the bit clear.
  struct Node {
    CornerChannel channel;
    uintptr_t link = 0;
    Node* Next() const { return reinterpret_cast<Node*>(link & ~kUsedBit); }
    void SetNext(Node* n) { link = reinterpret_cast<uintptr_t>(n) | (link & kUsedBit); }
  };
  static constexpr uintptr_t kUsedBit = 1;

 public:
  template <typename C, typename N>
  class Iter {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = CornerChannel;
    using difference_type = ptrdiff_t;
    using pointer = C*;
    using reference = C&;
    explicit Iter(N* n = nullptr) : n_(n) {}
    C& operator*() const { return n_->channel; }
    C* operator->() const { return &n_->channel; }
    Iter& operator++() {
      n_ = n_->Next();
      return *this;
    }
    bool operator==(const Iter& o) const { return n_ == o.n_; }
    bool operator!=(const Iter& o) const { return n_ != o.n_; }

   private:
    N* n_;
  };
  using value_type = CornerChannel;
  using iterator = Iter<CornerChannel, Node>;
  using const_iterator = Iter<const CornerChannel, const Node>;

  CornerChannelList() noexcept {}
  CornerChannelList(const CornerChannelList& other) { CopyFrom(other); }
  CornerChannelList(CornerChannelList&& other) noexcept { Take(other); }
  ~CornerChannelList() { clear(); }
  CornerChannelList& operator=(const CornerChannelList& other) {
    if (this != &other) {
      clear();
      CopyFrom(other);
    }
    return *this;
  }
  CornerChannelList& operator=(CornerChannelList&& other) noexcept {
    if (this != &other) {
      clear();
      Take(other);
    }
    return *this;
  }

  iterator begin() { return iterator(Used() ? &first_ : nullptr); }
  iterator end() { return iterator(); }
  const_iterator begin() const { return const_iterator(Used() ? &first_ : nullptr); }
  const_iterator end() const { return const_iterator(); }
  size_t size() const {
    size_t n = 0;
    for (const Node* i = Used() ? &first_ : nullptr; i; i = i->Next()) ++n;
    return n;
  }
  bool empty() const { return !Used(); }
  CornerChannel& front() { return first_.channel; }
  CornerChannel& back() { return Last()->channel; }

  // The place of the first channel, which moves with the list.
  const CornerChannel* InlineChannel() const { return &first_.channel; }
  CornerChannel* InlineChannel() { return &first_.channel; }

  // Appends a channel (throws std::bad_alloc when memory runs out).
  CornerChannel& emplace_back() {
    if (!Used()) {
      first_.channel.key = first_.channel.key2 = 0;
      first_.channel.values.clear();
      first_.link |= kUsedBit;
      return first_.channel;
    }
    Node* n = new Node;
    Last()->SetNext(n);
    return n->channel;
  }
  void clear() {
    // A list never used, with nothing on the heap, is left unwritten.
    if (first_.link == 0 && first_.channel.values.capacity() <= CornerArray::kInline) return;
    for (Node* n = first_.Next(); n;) {
      Node* next = n->Next();
      delete n;
      n = next;
    }
    first_.link = 0;
    first_.channel.values = CornerArray();
  }

 private:
  // Polygons hold one or two channels, so walking to the end is cheap.
  bool Used() const { return (first_.link & kUsedBit) != 0; }
  Node* Last() {
    Node* n = &first_;
    while (n->Next()) n = n->Next();
    return n;
  }
  void CopyFrom(const CornerChannelList& other) {
    try {
      for (const CornerChannel& c : other) emplace_back() = c;
    } catch (...) {
      clear();
      throw;
    }
  }
  void Take(CornerChannelList& other) {
    first_.channel.key = other.first_.channel.key;
    first_.channel.key2 = other.first_.channel.key2;
    first_.channel.values = std::move(other.first_.channel.values);
    first_.link = other.first_.link;
    other.first_.link = 0;
  }

  Node first_;
};
