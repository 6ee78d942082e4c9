#include "sbus/PcdFloat.h"
#include "sbus/Platform.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace pelsbus {

uint32_t IeeeToPcd(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    uint32_t e = (bits >> 23) & 0xFF;
    if (e < 62) return 0;
    if (e > 189) return 0xFFFFFFFFu;
    uint32_t mantissa = 0x800000u | (bits & 0x7FFFFFu);
    uint32_t sign = bits >> 31;
    return mantissa << 8 | sign << 7 | (e - 62);
}

float PcdToIeee(uint32_t pcd) {
    if (!(pcd & 0x80000000u)) return 0.0f;
    uint32_t sign = (pcd >> 7) & 1;
    uint32_t e = (pcd & 0x7F) + 62;
    uint32_t fraction = (pcd >> 8) & 0x7FFFFFu;
    uint32_t bits = sign << 31 | e << 23 | fraction;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

uint32_t DecimalToPcd(const char* text, int32_t& status) {
    if (!text) {
        status = 3;
        return 0;
    }
    // Only blanks, a sign, digits with a point and an exponent make a number:
    // no hexadecimal, no "inf" or "nan", which the C conversion would take.
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    const char* number = p;
    if (*p == '+' || *p == '-') ++p;
    int digits = 0;
    while (std::isdigit(static_cast<unsigned char>(*p)))
        ++p, ++digits;
    if (*p == '.') {
        ++p;
        while (std::isdigit(static_cast<unsigned char>(*p)))
            ++p, ++digits;
    }
    if (digits > 0 && (*p == 'e' || *p == 'E')) {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (std::isdigit(static_cast<unsigned char>(*e))) {
            while (std::isdigit(static_cast<unsigned char>(*e)))
                ++e;
            p = e;
        }
    }
    if (*text == '\0') { // nothing to convert, nothing left over
        status = 0;
        return 0;
    }
    if (digits == 0 || *p != '\0') {
        status = 3;
        return 0;
    }
    const double d = StrtodC(number);
    float f = static_cast<float>(d);
    if (f == 0.0f) {
        status = 0;
        return 0;
    }
    double mag = std::fabs(d);
    if (mag > 9.2233717e18) {
        status = 1;
        return 0;
    }
    if (mag < 2.7105055e-20) {
        status = 2;
        return 0;
    }
    status = 0;
    return IeeeToPcd(f);
}

} // namespace pelsbus
