// The output's line store and the array it grows in.
#include "utils/line_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

template <typename Value>
GrowingArray<Value>::~GrowingArray()
{
    Release();
}

template <typename Value>
void GrowingArray<Value>::Append(const Value* values, std::size_t count)
{
    static_assert(std::is_trivially_copyable_v<Value>);
    if (count == 0)
        return;
    if (count > capacity_ - size_) {
        const std::size_t limit = std::numeric_limits<std::size_t>::max() / sizeof(Value);
        if (count > limit - size_)
            throw std::bad_alloc();
        // Half again as much: untouched reserve costs address space, not memory.
        std::size_t capacity = std::max<std::size_t>(capacity_ + capacity_ / 2, 64 / sizeof(Value) + 1);
        capacity = std::clamp(capacity, size_ + count, limit);
        void* grown = std::realloc(data_, capacity * sizeof(Value));
        if (!grown)
            throw std::bad_alloc();
        data_ = static_cast<Value*>(grown);
        capacity_ = capacity;
    }
    std::memcpy(data_ + size_, values, count * sizeof(Value));
    size_ += count;
}

template <typename Value>
void GrowingArray<Value>::Release()
{
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

namespace {
// How many text bytes one range of the offset type covers; 0 when it covers any text.
template <typename Offset>
constexpr std::size_t OffsetRange()
{
    if constexpr (sizeof(Offset) >= sizeof(std::size_t))
        return 0;
    else
        return std::size_t{std::numeric_limits<Offset>::max()} + 1;
}
}  // namespace

template <typename Offset>
void BasicLineStore<Offset>::Append(std::string_view line, std::uint32_t width)
{
    const std::size_t start = text_.Size();
    if constexpr (OffsetRange<Offset>() != 0) {
        // A long line may pass several ranges at once; each gets its entry.
        while (rangeStarts_.size() < start / OffsetRange<Offset>())
            rangeStarts_.push_back(Count());
    }
    const auto offset = static_cast<Offset>(start);
    text_.Append(line.data(), line.size());
    try {
        starts_.Append(&offset, 1);
    } catch (...) {
        // The text without its start would run into the previous line.
        Clear();
        throw;
    }
    widest_ = std::max(widest_, width);
}

template <typename Offset>
void BasicLineStore<Offset>::Clear()
{
    text_.Release();
    starts_.Release();
    std::vector<std::size_t>().swap(rangeStarts_);
    widest_ = 0;
}

template <typename Offset>
std::size_t BasicLineStore<Offset>::Start(std::size_t index) const
{
    const std::size_t low = starts_.Data()[index];
    if constexpr (OffsetRange<Offset>() == 0) {
        return low;
    } else {
        const auto passed = std::upper_bound(rangeStarts_.begin(), rangeStarts_.end(), index) - rangeStarts_.begin();
        return static_cast<std::size_t>(passed) * OffsetRange<Offset>() + low;
    }
}

template <typename Offset>
std::size_t BasicLineStore<Offset>::End(std::size_t index) const
{
    return index + 1 < Count() ? Start(index + 1) : text_.Size();
}

template <typename Offset>
std::string_view BasicLineStore<Offset>::Line(std::size_t index) const
{
    if (index >= Count())
        return {};
    const std::size_t start = Start(index);
    return {text_.Data() + start, End(index) - start};
}

template <typename Offset>
std::string BasicLineStore<Offset>::Text(std::size_t first, std::size_t end) const
{
    end = std::min(end, Count());
    if (first >= end)
        return {};
    std::string text;
    text.reserve(End(end - 1) - Start(first) + (end - first - 1));
    for (std::size_t index = first; index < end; ++index) {
        if (index > first)
            text += '\n';
        text += Line(index);
    }
    return text;
}

template <typename Offset>
std::size_t BasicLineStore<Offset>::Footprint() const
{
    return text_.Capacity() + starts_.Capacity() * sizeof(Offset) + rangeStarts_.capacity() * sizeof(std::size_t);
}

template class GrowingArray<char>;
template class GrowingArray<std::uint32_t>;
template class BasicLineStore<std::uint32_t>;
// Offsets of one byte wrap every 256 bytes: tests and the fuzzer reach the wrap-around with small texts.
template class GrowingArray<std::uint8_t>;
template class BasicLineStore<std::uint8_t>;
