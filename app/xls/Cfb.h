#pragma once
// OLE2 compound files ("structured storage"), the container of ".xls".
//
// Reading validates every sector index, chain and size against the file, so
// a damaged file ends in an error, never in a crash or an endless loop.
// Writing lays every stream out afresh (512-byte sectors) while keeping the
// directory entries - names, tree links, class ids, times - as they were.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelkor::xls::cfb {

inline constexpr uint32_t NoStream = 0xFFFFFFFFu;

struct Entry {
    std::string raw;  // the 128-byte directory entry as stored
    uint8_t type = 0; // 0 unused, 1 storage, 2 stream, 5 root
    std::u16string name;
    uint32_t left = NoStream, right = NoStream, child = NoStream;
    std::string data; // stream contents (type 2 only)
    bool reachable = false;
};

struct File {
    std::vector<Entry> entries; // entries[0] is the root

    // Index of the stream `name` (ASCII, any case) directly below the root; -1 if none.
    int FindRootStream(const std::string& name) const;
};

// False with `error` set when `bytes` is not a sound compound file.
bool Read(const std::string& bytes, File& out, std::string& error);

// A fresh compound file holding one stream named `name` below the root.
File MakeSingleStream(const std::string& name, std::string data);

// Serialises `file`; streams under 4096 bytes go to the mini stream.
// False with `error` when the result would exceed the format's limits.
bool Write(const File& file, std::string& out, std::string& error);
// The same, handing the bytes to `sink` in order (large streams without a
// copy); a false from the sink stops the write.
using Sink = std::function<bool(std::string_view)>;
bool Write(const File& file, const Sink& sink, std::string& error);

} // namespace pelkor::xls::cfb
