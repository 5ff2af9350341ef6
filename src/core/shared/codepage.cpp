#include "shared/codepage.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace mw {

namespace {

// Windows-1252 at 0x80..0x9F; the five unassigned bytes stand for the control
// characters of the same number, as Windows itself decodes them.
const char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char16_t decodeWindows1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t(byte);
}

void decodeWindows1252(const char* bytes, qsizetype n, QString& into)
{
    if (!into.isDetached() || n > into.capacity())
        into = QString(n, Qt::Uninitialized);
    else
        into.resize(n);
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    auto* out = reinterpret_cast<char16_t*>(into.data());
    qsizetype i = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: widen to sixteen characters, note any byte above 127.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(b, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(b, zero));
        if (_mm_movemask_epi8(b) != 0) {
            for (qsizetype j = i; j < i + 16; ++j)
                if (in[j] >= 0x80 && in[j] < 0xA0)
                    out[j] = kHigh[in[j] - 0x80];
        }
    }
#endif
    for (; i < n; ++i)
        out[i] = in[i] >= 0x80 && in[i] < 0xA0 ? kHigh[in[i] - 0x80] : char16_t(in[i]);
}

} // namespace mw
