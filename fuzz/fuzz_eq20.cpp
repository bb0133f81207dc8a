// "20Band" data reader on arbitrary bytes, and the filter-set block built from what it read.
//  - Parse20BandData must take any bytes;
//  - a block with two 20-band stages is built from the same bytes as the "20Band" file of the
//    current folder: when the file is not valid both stages become Pass Thru Filter stages and
//    the block still succeeds with one message; a block that succeeds carries its checksum.
#include "coefgen/coefimage.h"
#include "coefgen/eq20.h"
#include "fuzzsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

using namespace korvane;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The block builder reads "20Band" from the current folder.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(base + QStringLiteral("/korvane-fuzz-eq20-XXXXXX"));
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     static_cast<qsizetype>(size));
    const std::optional<BandFilters> bands = Parse20BandData(bytes);

    QFile file(k20BandFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    file.close();

    Model model;
    model.ResetAllFilterSets();
    model.CurrentSet = 0;
    for (int stage = 1; stage <= 2; ++stage) {
        model.stage(0, stage).Type = static_cast<int16_t>(FilterType::GraphicEq20);
        model.ApplyTypeDefaults(stage);
    }
    // Stage 1 flat, stage 2 with cuts taken from the input's first bytes.
    for (int i = 0; i < kEqBandCount; ++i)
        model.stage(0, 2).EqBand[i] = static_cast<int16_t>(size > static_cast<size_t>(i) ? data[i] % 41 : 0);

    fuzz::SilentDialog dialog;
    std::array<uint8_t, kFilterSetBlockSize> block{};
    const bool built = BuildFilterSetBlock(model, 0, block, dialog);
    if (!bands) {
        if (!built || dialog.messages != 1)
            std::abort();
        for (int stage = 0; stage < 2; ++stage)
            if (std::memcmp(block.data() + kStageHeaderOffset[stage], kPassThruHeader.data(), kPassThruHeader.size())
                != 0)
                std::abort();
    }
    if (built) {
        unsigned sum = 0;
        for (int i = 0; i < kChecksumOffset; ++i)
            sum += block[i];
        const unsigned word = (block[kChecksumOffset] << 8) | block[kChecksumOffset + 1];
        if (((sum + word) & 0xFFFF) != 0)
            std::abort();
    }
    return 0;
}
