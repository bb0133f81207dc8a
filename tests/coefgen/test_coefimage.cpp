// The coefficient image: block layout, headers, comb words, fixed-point conversion,
// checksums, failure handling and the atomic write of filter.bin.

#include "datatable.h"
#include "imagetestutil.h"

#include "coefgen/fixedpoint.h"
#include "coefgen/imageinspect.h"
#include "coefgen/spectral.h"
#include "scripteddialog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvane;
using namespace korvane::test;

Q_DECLARE_METATYPE(std::optional<int32_t>)

class TestCoefImage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(!programDir().isEmpty());
        SetKorvanesLocation(programDir(), QStringLiteral("korvanes"), false);
        QVERIFY(QDir::setCurrent(programDir())); // where the build put 20Band
    }

    void singleToFixed_data()
    {
        // expected: the 24-bit pattern
        test::addColumns<float, std::optional<int32_t>>("value", "expected");
        QTest::newRow("0") << 0.0f << std::optional<int32_t>(0x000000);
        QTest::newRow("0.5 ties to even") << 0.5f << std::optional<int32_t>(0x400000);
        QTest::newRow("-0.5 ties to even") << -0.5f << std::optional<int32_t>(0xC00000);
        QTest::newRow("1") << 1.0f << std::optional<int32_t>(0x7FFFFF);
        QTest::newRow("-1") << -1.0f << std::optional<int32_t>(0x800001);
        QTest::newRow("2 clamps") << 2.0f << std::optional<int32_t>(0x7FFFFF);
        QTest::newRow("-2 clamps") << -2.0f << std::optional<int32_t>(0x800000);
        QTest::newRow("255 clamps") << 255.0f << std::optional<int32_t>(0x7FFFFF);
        QTest::newRow("one step") << 1.0f / 8388607.0f << std::optional<int32_t>(0x000001);
        QTest::newRow("300 does not fit") << 300.0f << std::optional<int32_t>();
        QTest::newRow("-300 does not fit") << -300.0f << std::optional<int32_t>();
        QTest::newRow("nan") << std::numeric_limits<float>::quiet_NaN() << std::optional<int32_t>();
        QTest::newRow("inf") << std::numeric_limits<float>::infinity() << std::optional<int32_t>();
    }
    void singleToFixed()
    {
        QFETCH(float, value);
        QFETCH(std::optional<int32_t>, expected);
        const auto bytes = SingleToFixed(value);
        QCOMPARE(bytes.has_value(), expected.has_value());
        if (bytes)
            QCOMPARE(((*bytes)[0] << 16) | ((*bytes)[1] << 8) | (*bytes)[2], *expected);
    }

    void combFeedback_data()
    {
        test::addColumns<int, int, int>("depth", "mode", "expected");
        QTest::newRow("30 odd") << 30 << 4 << 15350;
        QTest::newRow("30 all") << 30 << 3 << -15350;
        QTest::newRow("30 even") << 30 << 5 << -15350;
        QTest::newRow("0") << 0 << 4 << 8173;
        QTest::newRow("12") << 12 << 4 << 8173;
        QTest::newRow("13") << 13 << 4 << 10571;
        QTest::newRow("39") << 39 << 4 << 16017;
        QTest::newRow("40") << 40 << 4 << 16124;
        QTest::newRow("54") << 54 << 4 << 16319;
        QTest::newRow("55") << 55 << 4 << 16383;
        QTest::newRow("60") << 60 << 3 << -16383;
        QTest::newRow("negative") << -1 << 4 << 16383;
    }
    void combFeedback()
    {
        QFETCH(int, depth);
        QFETCH(int, mode);
        QFETCH(int, expected);
        QCOMPARE(int(CombFeedbackCoefficient(static_cast<int16_t>(depth), static_cast<int16_t>(mode))), expected);
    }

    void allPassThroughImage()
    {
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(passThruModel(), dialog);
        QVERIFY(image);
        QCOMPARE(image->size(), kFilterImageSize);
        QVERIFY(dialog.messages.empty());
        QByteArray expected(kFilterSetBlockSize, '\0');
        expected.replace(0, 10, QByteArray("ZARVEL\x00\x06\x0C\x01", 10));
        const QByteArray header("\x01\x03\x00\x00\x00\x01\x00\x04", 8);
        expected.replace(10, 8, header);
        expected.replace(786, 8, header);
        expected[1790] = char(0xFE);
        expected[1791] = char(0x07);
        for (int set = 0; set < kFilterSetCount; ++set)
            QCOMPARE(image->mid(set * kFilterSetBlockSize, kFilterSetBlockSize), expected);
    }

    void setWideBytes_data()
    {
        // bytes: 8, 9, 1783
        test::addColumns<int, int, bool, QByteArray>("agc", "bandwidth", "noise", "bytes");
        QTest::newRow("none 3.4") << 0 << 0 << false << QByteArray("\x0C\x00\x00", 3);
        QTest::newRow("10dB 5.0 noise") << 1 << 1 << true << QByteArray("\x1C\x01\x01", 3);
        QTest::newRow("20dB 7.5") << 2 << 2 << false << QByteArray("\x2C\x02\x00", 3);
        QTest::newRow("30dB 7.5 noise") << 3 << 2 << true << QByteArray("\x3C\x02\x01", 3);
    }
    void setWideBytes()
    {
        QFETCH(int, agc);
        QFETCH(int, bandwidth);
        QFETCH(bool, noise);
        QFETCH(QByteArray, bytes);
        Model m = passThruModel();
        StageConfig &s1 = m.stage(5, 1);
        s1.Agc = static_cast<int16_t>(agc);
        s1.Bandwidth = static_cast<int16_t>(bandwidth);
        s1.NoiseFilter = noise ? kTrue : kFalse;
        m.stage(5, 2).Agc = 0; // only the Stage 1 copy counts
        m.stage(5, 2).NoiseFilter = noise ? kFalse : kTrue;
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        const uint8_t *b = blockAt(*image, 5);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(b + 8), 2) + char(b[1783]), bytes);
    }

    void stageHeadersAndCombWords()
    {
        Model m = passThruModel();
        setType(m, 0, 1, Adaptive1CH);
        setType(m, 0, 2, ImportedCoef);
        setType(m, 1, 1, Comb);
        m.stage(1, 1).Freq1 = 300;
        m.stage(1, 1).ModeOption = 3;
        m.stage(1, 1).AttenDb = 30;
        setType(m, 1, 2, Comb);
        m.stage(1, 2).Freq1 = 300;
        m.stage(1, 2).ModeOption = 4;
        m.stage(1, 2).AttenDb = 30;
        setType(m, 2, 2, Comb);
        m.stage(2, 2).Freq1 = 300;
        m.stage(2, 2).ModeOption = 5;
        m.stage(2, 2).AttenDb = 40;
        setType(m, 2, 1, Lowpass);
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        auto bytesAt = [&](int set, int offset, int n) { return image->mid(set * kFilterSetBlockSize + offset, n); };

        QCOMPARE(bytesAt(0, 10, 8), QByteArray("\x01\x7F\x02\x00\x0A\x01\x01\x04", 8));
        QCOMPARE(bytesAt(0, 18, 768), QByteArray(768, '\0'));
        QCOMPARE(bytesAt(0, 786, 8), QByteArray("\x00\xFF\x00\x00\x00\x01\x00\x04", 8));
        QCOMPARE(tapAt(blockAt(*image, 0), 1, 0), 0x7FFFFF); // imported taps keep their order
        for (int k = 1; k < kCoefCount; ++k)
            QCOMPARE(tapAt(blockAt(*image, 0), 1, k), 0);
        QCOMPARE(bytesAt(0, 1784, 6), QByteArray(6, '\0'));

        // All: D = 300; Odd: D = 149; feedback signed by mode.
        QCOMPARE(bytesAt(1, 10, 8), QByteArray("\x00\xFF\x2C\x00\x00\x02\x00\x04", 8));
        QCOMPARE(bytesAt(1, 786, 8), QByteArray("\x00\xFF\x95\x00\x00\x02\x00\x04", 8));
        QCOMPARE(bytesAt(1, 1784, 6), QByteArray("\x01\xC4\x0A\x00\x3B\xF6", 6));
        // Stage 1 not a comb: its words stay 0.
        QCOMPARE(bytesAt(2, 1784, 6), QByteArray("\x00\x00\x00\x00\xC1\x04", 6));
        QCOMPARE(bytesAt(2, 786 + 2, 1), QByteArray("\x95", 1));
        QCOMPARE(bytesAt(2, 10, 8), QByteArray("\x00\xFF\x00\x00\x00\x01\x00\x04", 8));
        QVERIFY(std::abs(tapAt(blockAt(*image, 2), 0, 127) - tapAt(blockAt(*image, 2), 0, 126)) > 0);
    }

    void everyTypeInOneImage()
    {
        Model m = passThruModel();
        int set = 0;
        int stage = 1;
        for (int16_t t = 0; t < kFilterTypeCount; ++t) {
            setType(m, set, stage, t);
            if (++stage == 3)
                stage = 1, ++set;
        }
        m.stage(3, 1).Bandwidth = 2;
        m.stage(4, 1).Agc = 3;
        m.stage(4, 1).NoiseFilter = kTrue;
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        QVERIFY(dialog.messages.empty());
        QCOMPARE(image->size(), kFilterImageSize);
        for (int s = 0; s < kFilterSetCount; ++s) {
            uint32_t sum = 0;
            for (int i = 0; i < kFilterSetBlockSize; i += 2)
                sum += i < 1790 ? blockAt(*image, s)[i] + blockAt(*image, s)[i + 1]
                                : (blockAt(*image, s)[i] << 8) | blockAt(*image, s)[i + 1];
            QCOMPARE(sum % 65536, 0u);
        }
        const DecodedImage decoded = DecodeFilterImage(*image);
        QVERIFY(decoded.wellFormed());
        using Kind = DecodedStageHeader::Kind;
        QCOMPARE(decoded.blocks[0].headers[0].kind, Kind::Adaptive);
        QCOMPARE(decoded.blocks[2].headers[1].kind, Kind::Comb);
        QCOMPARE(decoded.blocks[4].headers[0].kind, Kind::Fir); // 20-band, file present
        QCOMPARE(decoded.blocks[5].headers[1].kind, Kind::PassThru);
        QCOMPARE(decoded.blocks[4].agcByte, uint8_t(0x3C));
        QCOMPARE(decoded.blocks[4].noiseFlag, uint8_t(1));
        QVERIFY(decoded.blocks[4].centreTap[1] != 0); // spectral stage
    }

    // A fault anywhere in a block fails the whole build: no block is sent half made.
    void runTimeErrorsFailTheBuild_data()
    {
        test::addColumns<int, int, int>("set", "stage", "type");
        QTest::addColumn<int>(
            "field"); // 0 Freq2 := 0, 1 FilterSize := 300, 2 PredictionSpan := 0, 3 AdaptRate := -1, 4 Type := 12
        QTest::newRow("notch M=0") << 3 << 1 << int(Notch) << 0;
        QTest::newRow("slot M=0 after spectral") << 3 << 2 << int(Slot) << 0;
        QTest::newRow("filter size 300") << 15 << 2 << int(Adaptive1CH) << 1;
        QTest::newRow("prediction span 0") << 0 << 1 << int(Adaptive1CH) << 2;
        QTest::newRow("adapt rate negative") << 7 << 1 << int(Adaptive1CH) << 3;
        QTest::newRow("unknown type") << 7 << 2 << int(PassThru) << 4;
    }
    void runTimeErrorsFailTheBuild()
    {
        QFETCH(int, set);
        QFETCH(int, stage);
        QFETCH(int, type);
        QFETCH(int, field);
        Model m = passThruModel();
        setType(m, set, 3 - stage, SpectralEq);
        setType(m, set, stage, static_cast<int16_t>(type));
        StageConfig &s = m.stage(set, stage);
        switch (field) {
        case 0:
            s.Freq2 = 0;
            break;
        case 1:
            s.FilterSize = 300;
            break;
        case 2:
            s.PredictionSpan = 0;
            break;
        case 3:
            s.AdaptRate = -1;
            break;
        case 4:
            s.Type = 12;
            break;
        }
        ScriptedDialog dialog;
        QVERIFY(!BuildFilterImageBytes(m, dialog));
        QVERIFY(dialog.messages.empty());
    }

    void conversionErrorIsShownAndFailsTheBuild()
    {
        Model m = passThruModel();
        setType(m, 2, 1, ImportedCoef);
        m.stage(2, 1).Coef[5] = 300.0f;
        m.stage(2, 1).Coef[6] = std::numeric_limits<float>::quiet_NaN();
        ScriptedDialog dialog;
        QVERIFY(!BuildFilterImageBytes(m, dialog));
        QCOMPARE(dialog.messages.size(), size_t(1));
        QCOMPARE(dialog.messages[0].title, QStringLiteral("Conversion Error"));
        QCOMPARE(dialog.messages[0].text, QStringLiteral("Error generated in Single To Fixed"));
        QCOMPARE(dialog.messages[0].icon, MessageIcon::Exclamation);

        // Between 1 and 256 the value is clamped without a word.
        m.stage(2, 1).Coef[5] = 200.0f;
        m.stage(2, 1).Coef[6] = -1.5f;
        dialog.clear();
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        QVERIFY(dialog.messages.empty());
        QCOMPARE(tapAt(blockAt(*image, 2), 0, 5), 8388607);
        QCOMPARE(tapAt(blockAt(*image, 2), 0, 6), -8388608);
    }

    void imageFileIsReplacedWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("filter.bin"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(40000, 'x'));
        }
        ScriptedDialog dialog;
        Model m = passThruModel();
        QVERIFY(BuildFilterImage(m, path, dialog));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        file.close();
        QCOMPARE(written, *BuildFilterImageBytes(m, dialog));

        // A failed build leaves the previous image untouched.
        setType(m, 9, 2, Notch);
        m.stage(9, 2).Freq2 = 0;
        QVERIFY(!BuildFilterImage(m, path, dialog));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), written);
        QVERIFY(dialog.messages.empty());
    }

    void unwritableFolderFails()
    {
        ScriptedDialog dialog;
        QVERIFY(!BuildFilterImage(passThruModel(), QStringLiteral("/nonexistent-folder/filter.bin"), dialog));
        QVERIFY(dialog.messages.empty());
    }

    // A folder the user may not write to, holding a filter.bin the user may write: the new
    // image has nowhere to be made beside the old one, and writing straight into filter.bin
    // could leave it half old, half new. The write must fail and keep the old file whole.
    // Root may write anywhere, so as root the write runs in a child that becomes "nobody".
    void readOnlyFolderKeepsTheOldImage()
    {
        uid_t asUid = geteuid();
        gid_t asGid = getegid();
        if (asUid == 0) {
            const passwd *pw = getpwnam("nobody");
            if (!pw || pw->pw_uid == 0)
                QSKIP("running as root and there is no unprivileged user \"nobody\" to write as");
            asUid = pw->pw_uid;
            asGid = pw->pw_gid;
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("filter.bin"));
        const QByteArray old(kFilterImageSize, 'o');
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(old), old.size());
        }
        const QByteArray dirPath = QFile::encodeName(dir.path());
        const QByteArray filePath = QFile::encodeName(path);
        QCOMPARE(chmod(filePath.constData(), 0666), 0);
        QCOMPARE(chmod(dirPath.constData(), 0555), 0);

        // Child exit codes: 0 write refused, 1 write reported done, 2 could not drop to the user,
        // 3 filter.bin not writable for that user (a folder above it is closed to it).
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (asUid != geteuid() && (setgid(asGid) != 0 || setuid(asUid) != 0))
                _exit(2);
            if (access(filePath.constData(), W_OK) != 0)
                _exit(3);
            _exit(WriteFilterImage(QByteArray(kFilterImageSize, 'n'), path) ? 1 : 0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        (void)chmod(dirPath.constData(), 0755); // so the folder can be removed
        QVERIFY(WIFEXITED(status));
        QVERIFY2(WEXITSTATUS(status) != 2, "could not switch to the unprivileged user");
        if (WEXITSTATUS(status) == 3)
            QSKIP("the temporary folder's parents are closed to the unprivileged user");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void inspectionFindsDamage()
    {
        ScriptedDialog dialog;
        Model m = passThruModel();
        setType(m, 0, 1, Lowpass);
        const QByteArray image = *BuildFilterImageBytes(m, dialog);
        QVERIFY(DecodeFilterImage(image).wellFormed());
        const DecodedBlock b0 = DecodeFilterImage(image).blocks[0];
        QVERIFY(std::abs(b0.centreTap[0] - 0x48E8FB) > 0); // 12000 Hz here, not the 9000 Hz figure
        QCOMPARE(b0.firstTap[0], 0);

        // Any single changed byte of 0..1789 breaks the checksum.
        for (int i = 0; i < 1790; ++i) {
            QByteArray damaged = image;
            damaged[kFilterSetBlockSize * 3 + i] = char(damaged[kFilterSetBlockSize * 3 + i] ^ 0x10);
            const DecodedImage d = DecodeFilterImage(damaged);
            QVERIFY2(!d.wellFormed() && !d.blocks[3].checksumOk, qPrintable(QString::number(i)));
        }
        QByteArray badMagic = image;
        badMagic[kFilterSetBlockSize + 7] = 7;
        const int c = kFilterSetBlockSize + kChecksumOffset;
        const uint16_t fixedUp = static_cast<uint16_t>(((uint8_t(badMagic[c]) << 8) | uint8_t(badMagic[c + 1])) - 1);
        badMagic[c] = char(fixedUp >> 8);
        badMagic[c + 1] = char(fixedUp & 0xFF);
        const DecodedImage dm = DecodeFilterImage(badMagic);
        QVERIFY(dm.blocks[1].checksumOk);
        QVERIFY(!dm.blocks[1].magicOk);
        QVERIFY(!dm.wellFormed());

        const DecodedImage shortImage = DecodeFilterImage(image.left(kFilterImageSize - 5));
        QVERIFY(!shortImage.wellFormed());
        QCOMPARE(shortImage.blocks.back().complete(), false);
        QVERIFY(!DecodeFilterImage(image + 'x').wellFormed());
        QVERIFY(DescribeFilterImage(shortImage).contains(QStringLiteral("MALFORMED")));
        QVERIFY(DescribeFilterImage(DecodeFilterImage(QByteArray())).contains(QStringLiteral("MALFORMED")));

        // Arbitrary bytes of any length decode without reading past the data.
        std::srand(11);
        for (int round = 0; round < 40; ++round) {
            QByteArray junk(std::rand() % (3 * kFilterSetBlockSize), '\0');
            for (char &c : junk)
                c = char(std::rand());
            const DecodedImage d = DecodeFilterImage(junk);
            QCOMPARE(int(d.blocks.size()), int((junk.size() + kFilterSetBlockSize - 1) / kFilterSetBlockSize));
            QVERIFY(!d.wellFormed());
            QVERIFY(!DescribeFilterImage(d).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestCoefImage)
#include "test_coefimage.moc"
