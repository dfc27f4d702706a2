#pragma once

#include <QByteArray>
#include <cstdint>
#include <cstring>

// Little-endian access to raw file bytes. Both container formats of an .xls file (the compound
// file and the BIFF records inside it) store every integer little-endian. Callers check bounds
// before reading; these helpers only assemble bytes.
namespace xls::bytes {

inline uint16_t u16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t u32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline double f64(const char* p) {
    uint64_t bits = static_cast<uint64_t>(u32(p)) | (static_cast<uint64_t>(u32(p + 4)) << 32);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void put16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

inline void put32(char* p, uint32_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
    p[2] = static_cast<char>((v >> 16) & 0xFF);
    p[3] = static_cast<char>(v >> 24);
}

inline void append16(QByteArray& out, uint16_t v) {
    char b[2];
    put16(b, v);
    out.append(b, 2);
}

inline void append32(QByteArray& out, uint32_t v) {
    char b[4];
    put32(b, v);
    out.append(b, 4);
}

} // namespace xls::bytes
