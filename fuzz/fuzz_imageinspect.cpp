// Coefficient image decoder on arbitrary bytes: it must judge any byte string without
// reading past it, and its verdicts must agree with the image's own layout.
#include "coefgen/coefimage.h"
#include "coefgen/imageinspect.h"

#include <cstdlib>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A QByteArray that does not own the fuzzer's buffer, so ASan sees every byte past it.
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     static_cast<qsizetype>(size));
    const DecodedImage decoded = DecodeFilterImage(image);
    (void)DescribeFilterImage(decoded);

    const size_t expectedBlocks = (size + kFilterSetBlockSize - 1) / kFilterSetBlockSize;
    if (decoded.size != static_cast<qsizetype>(size) || decoded.blocks.size() != expectedBlocks)
        std::abort();
    if (decoded.wellFormed() && size != static_cast<size_t>(kFilterImageSize))
        std::abort();
    for (const DecodedBlock &b : decoded.blocks) {
        const size_t start = static_cast<size_t>(b.index) * kFilterSetBlockSize;
        if (start >= size || static_cast<size_t>(b.size) != std::min<size_t>(kFilterSetBlockSize, size - start))
            std::abort();
        if (!b.complete())
            continue;
        // The checksum word makes the sum of bytes 0..1789 plus the word a multiple of 65536.
        unsigned sum = 0;
        for (size_t i = 0; i < static_cast<size_t>(kChecksumOffset); ++i)
            sum += data[start + i];
        const unsigned word = (data[start + kChecksumOffset] << 8) | data[start + kChecksumOffset + 1];
        if (b.storedChecksum != word || b.checksumOk != (((sum + word) & 0xFFFF) == 0))
            std::abort();
    }
    return 0;
}
