// The output's lines as compact data: every line's text back to back in one buffer and one start
// offset per line, so that a week of polling costs a few bytes a line. A front end paints only the
// lines in sight from it; it never needs a layout object per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A growing array of plain values over realloc: a large block is moved by remapping its pages
// instead of being copied, so growth never needs the old and the new block at once and a tick
// never pays for copying a week of text.
template <typename Value>
class GrowingArray {
public:
    GrowingArray() = default;
    ~GrowingArray();
    GrowingArray(const GrowingArray&) = delete;
    GrowingArray& operator=(const GrowingArray&) = delete;

    void Append(const Value* values, std::size_t count);
    void Release();   // empty again, memory handed back
    const Value* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return capacity_; }

private:
    Value* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// `Offset` is the type of the per-line start offset. Starts are kept modulo its range; the few
// lines at which the text passes another whole range are listed apart, so the text has no limit.
template <typename Offset>
class BasicLineStore {
public:
    // Stores the line exactly as given; an empty line is a line. `width` is how wide the front end
    // draws it, in its own unit: the store keeps the largest, so a scroll range costs nothing.
    void Append(std::string_view line, std::uint32_t width = 0);
    // Drops every line and gives the memory back.
    void Clear();

    std::size_t Count() const { return starts_.Size(); }
    std::string_view Line(std::size_t index) const;
    std::size_t TextSize() const { return text_.Size(); }   // bytes of all lines, no breaks
    std::uint32_t WidestWidth() const { return widest_; }
    // For a front end that measured every line anew (its font changed).
    void SetWidestWidth(std::uint32_t width) { widest_ = width; }

    // Lines [first, end) joined by "\n", without a break after the last one.
    std::string Text(std::size_t first, std::size_t end) const;
    std::string Text() const { return Text(0, Count()); }

    // Bytes held, reserve included.
    std::size_t Footprint() const;

private:
    std::size_t Start(std::size_t index) const;
    std::size_t End(std::size_t index) const;

    GrowingArray<char> text_;
    GrowingArray<Offset> starts_;
    std::vector<std::size_t> rangeStarts_;   // per whole range of Offset passed: the first line beyond it
    std::uint32_t widest_ = 0;
};

// What the output editor holds.
using LineStore = BasicLineStore<std::uint32_t>;
