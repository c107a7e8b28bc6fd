// How long the bench's scope takes to repaint, set against a 60 Hz frame
// (16.7 ms). Three captures made by the virtual chip itself: a REQA, a
// MIFARE read (authenticated, so enciphered), and the longest exchange the
// bench makes, a 16-slot inventory with its fifteen slot pulses and a tag
// answering in every slot, with CH1 on the demodulated answer and its
// subcarrier, which gives the most edges. Each is drawn whole and zoomed.
//
// Run: build/bench/bench_scope [repaints] [--save DIRECTORY]
// (offscreen unless QT_QPA_PLATFORM says otherwise; --save keeps each view
// as a PNG to look at)

#include "chipmodel.h"
#include "chipregisters.h"
#include "chipscript.h"
#include "iso15693tag.h"
#include "mifareclassiccard.h"
#include "scopeview.h"
#include "signalsynthesis.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr double FrameMs = 1000.0 / 60.0;
constexpr int ScopeWidth = 1200;
constexpr int ScopeHeight = 480;

std::vector<DecodedExchange> request()
{
    ChipScript reader({ std::make_shared<MifareClassicCard>(QByteArray("\x04\xA2\x3B\x15", 4)) });
    reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ManchesterWithSubcarrier);
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityNoCrc);
    reader.transceive("\x26", BitFramingBits::ShortFrame);
    return reader.lastExchanges();
}

// Identification, authentication of block 4 with the transport key, then
// the read: the capture of the read alone.
std::vector<DecodedExchange> mifareRead()
{
    auto card = std::make_shared<MifareClassicCard>(QByteArray("\x04\xA2\x3B\x15", 4));
    card->setBlock(4, QByteArray("Bonjour TagBench"));
    ChipScript reader({ card });
    reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ManchesterWithSubcarrier);
    reader.identify();
    reader.authenticate(4);
    reader.chip.write(ChipReg::ChannelRedundancy, ChannelRedundancyBits::OddParityCrcBothWays);
    reader.transceive(QByteArray("\x30\x04", 2));
    return reader.lastExchanges();
}

// Sixteen tags, one for each slot (the UID's lowest nibble), and the
// inventory that finds them all with its fifteen end-of-frame pulses.
std::vector<DecodedExchange> inventory()
{
    ChipScript reader;
    for (quint64 slot = 0; slot < 16; ++slot)
        reader.chip.field().addCard(std::make_shared<Iso15693Tag>(0xE004010866215700ull | slot));
    reader.chip.write(ChipReg::MFOUTSelect, MFOUTSelectBits::ManchesterWithSubcarrier);
    reader.vicinityMode();
    reader.transceive(QByteArray("\x06\x01\x00", 3));
    reader.chip.write(ChipReg::CoderControl, CoderControlBits::Iso15693SlotPulse);
    for (int slot = 1; slot < 16; ++slot)
        reader.transceive(QByteArray());
    return reader.lastExchanges();
}

double medianMs(int repaints, const std::function<void()> &paint)
{
    std::vector<double> samples;
    for (int i = 0; i < repaints; ++i) {
        QElapsedTimer clock;
        clock.start();
        paint();
        samples.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

struct View
{
    const char *name;
    double start;  // share of the capture's duration
    double span;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    QString saveTo;
    const int save = int(arguments.indexOf(QStringLiteral("--save")));
    if (save >= 0 && save + 1 < arguments.size()) {
        saveTo = arguments.at(save + 1);
        arguments.remove(save, 2);
        QDir().mkpath(saveTo);
    }
    const int repaints = arguments.isEmpty() ? 51 : std::max(3, arguments.first().toInt());

    struct Case
    {
        const char *name;
        Capture capture;
        double synthesisMs;  // making the capture, as the window does to show it
    };
    std::vector<Case> cases;
    using Exchanges = std::vector<DecodedExchange>;
    for (const auto &[name, make] : std::vector<std::pair<const char *, std::function<Exchanges()>>> {
             { "REQA", request }, { "MIFARE READ", mifareRead }, { "INVENTORY 16", inventory } }) {
        const Exchanges exchanges = make();
        const double synthesisMs = medianMs(9, [&] { SignalSynthesis::capture(exchanges); });
        cases.push_back({ name, SignalSynthesis::capture(exchanges), synthesisMs });
    }

    const View views[] = {
        { "whole", 0.0, 1.0 },
        { "zoom x10", 0.45, 0.1 },
        { "zoom x100", 0.5, 0.01 },
    };
    ScopeView scope;
    scope.resize(ScopeWidth, ScopeHeight);
    QImage image(scope.size(), QImage::Format_ARGB32_Premultiplied);

    std::printf("Scope repaint, %dx%d, median of %d, against a 60 Hz frame of %.1f ms\n"
                "(exch: exchanges in the capture; CH1, CH2: its changes of level; synth: making it)\n",
                ScopeWidth, ScopeHeight, repaints, FrameMs);
    std::printf("%-13s %8s %7s %7s %7s %8s  %-9s %10s %7s\n", "capture", "us", "exch", "CH1", "CH2",
                "synth ms", "view", "repaint ms", "frame");
    for (Case &item : cases) {
        const Capture &capture = item.capture;
        scope.setCapture(std::make_shared<const Capture>(capture));
        scope.setCaption(QStringLiteral("En direct — %1").arg(capture.summaries.front()));
        for (const View &view : views) {
            scope.setView(view.start * capture.durationUs, view.span * capture.durationUs);
            const double ms = medianMs(repaints, [&] { scope.render(&image); });
            std::printf("%-13s %8.0f %7d %7zu %7zu %8.2f  %-9s %10.3f %6.1f%%\n", item.name, capture.durationUs,
                        capture.exchangeCount, capture.mfout.times.size(), capture.antenna.times.size(),
                        item.synthesisMs, view.name, ms, 100 * ms / FrameMs);
            if (!saveTo.isEmpty()) {
                QString file = QStringLiteral("%1-%2.png").arg(QString::fromLatin1(item.name), QString::fromLatin1(view.name));
                file.replace(QLatin1Char(' '), QLatin1Char('_'));
                image.save(QDir(saveTo).filePath(file));
            }
        }
    }
    return 0;
}
