// Small pointer lists that carry the timers' bookkeeping.
//
// TCustomQuickList is a growable array of item pointers. TBufList makes each item a separately
// allocated buffer of one fixed record size; a removed buffer is kept behind the live items and
// handed out again by the next Add, so a list that shrinks and grows again does not allocate.
// Capacity grows by 16 while it is at most 64, beyond that by a quarter.
#pragma once

#include <cstddef>
#include <vector>

class TCustomQuickList {
  public:
    TCustomQuickList() = default;
    TCustomQuickList(const TCustomQuickList&) = delete;
    TCustomQuickList& operator=(const TCustomQuickList&) = delete;
    virtual ~TCustomQuickList() = default;

    int Count() const { return count_; }
    int Capacity() const { return int(items_.size()); }
    void* Item(int index) const { return items_[index]; }
    // Never below the slots in use (a buffer list's spare buffers included).
    void SetCapacity(int capacity);
    // The growth step from a given capacity.
    static int NextCapacity(int capacity);

  protected:
    void Grow();
    virtual int Held() const { return count_; }
    std::vector<void*> items_; // Capacity() slots
    int count_ = 0;
};

class TBufList : public TCustomQuickList {
  public:
    // keepOrder: removal shifts later items down; otherwise the last item fills the hole.
    TBufList(std::size_t recordSize, bool keepOrder);
    ~TBufList() override;

    std::size_t RecordSize() const { return recordSize_; }
    bool KeepsOrder() const { return keepOrder_; }
    // A buffer at the end of the list (reused when one is spare); its contents are undefined.
    void* Add();
    void Delete(int index);
    void Clear();
    // Buffers held, live or spare (for tests: removal must not free them).
    int Allocated() const { return allocated_; }

  protected:
    int Held() const override { return allocated_; }

  private:
    std::size_t recordSize_;
    bool keepOrder_;
    int allocated_ = 0; // items_[count_ .. allocated_) are spare buffers
};

// A TBufList of one record type (trivially copyable records).
template <class T> class TRecordList : public TBufList {
  public:
    explicit TRecordList(bool keepOrder) : TBufList(sizeof(T), keepOrder) {}
    T& operator[](int index) const { return *static_cast<T*>(Item(index)); }
    T& Append(const T& value) { return *new (Add()) T(value); }
};
