// The audio boundary over Qt Multimedia: one short sound kept in memory and played on the
// default audio output, restarted from its beginning on every request.
//
// What Qt 6.4 on PulseAudio does, measured, and why this file is shaped by it:
//  - the server starts a stream only once it holds a buffer's worth of sound, so writing just
//    the click plays nothing; the click goes out followed by silence up to the buffer size,
//    all in one write, which plays at once and needs nothing more from the program;
//  - pulling the click from a QBuffer plays it too, but only as Qt's event handling feeds it
//    (a 20 ms timer), so a click before a blocking wait would sound after the wait;
//  - a sink stopped and started again asks the server for less of a buffer each time, down
//    to a few ms (where clicks got lost while Qt fed them); so the one sink is given the same
//    ample buffer before every start;
//  - a new sink per click would do as well, but deleting a sink handles pending Qt events on
//    the spot (inside a button's click), and deleteLater never comes round in the program's
//    own event loop;
//  - when the sound server goes away the sink fails for good; from then on nothing is tried.
// Nothing here depends on the window: the click sounds also when it is not in front.
#include "platform/audio.h"

#include <QAudio>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QByteArray>
#include <QIODevice>
#include <QMediaDevices>

#include <memory>

namespace {

// The sink's buffer, as time: several clicks long, so the click and its silence fit in one
// write (the server grants some 60 % of what is asked).
constexpr qint32 SinkBufferMicroseconds = 200000;

struct AudioOutput {
    QByteArray samples;
    std::unique_ptr<QAudioSink> sink;   // made when a sound is loaded
    qint32 bufferBytes = 0;
    char silence = 0;                   // the byte value of silence in the sound's format
    bool failed = false;                // the output broke; nothing more is played
};

std::unique_ptr<AudioOutput> Output;

bool ToQtFormat(const PcmFormat& format, QAudioFormat& out)
{
    switch (format.bitsPerSample) {
    case 8: out.setSampleFormat(QAudioFormat::UInt8); break;
    case 16: out.setSampleFormat(QAudioFormat::Int16); break;
    case 32: out.setSampleFormat(QAudioFormat::Int32); break;
    default: return false;
    }
    out.setChannelCount(format.channels);
    out.setSampleRate(format.samplesPerSecond);
    return out.isValid();
}

bool IsBroken(const QAudioSink& sink)
{
    return sink.error() == QAudio::OpenError || sink.error() == QAudio::FatalError;
}

}  // namespace

bool OpenAudioOutput()
{
    // Without a sound server Qt finds no device at all, and says so at once.
    if (QMediaDevices::defaultAudioOutput().isNull()) return false;
    Output = std::make_unique<AudioOutput>();
    return true;
}

bool LoadSound(const PcmFormat& format, std::span<const std::uint8_t> samples)
{
    if (!Output) return false;
    if (Output->sink) Output->sink->stop();
    Output->sink.reset();
    Output->samples.clear();

    QAudioFormat qtFormat;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (samples.empty() || !ToQtFormat(format, qtFormat) || !device.isFormatSupported(qtFormat))
        return false;
    Output->samples = QByteArray(reinterpret_cast<const char*>(samples.data()),
                                 static_cast<qsizetype>(samples.size()));
    Output->sink = std::make_unique<QAudioSink>(device, qtFormat);
    Output->bufferBytes = qtFormat.bytesForDuration(SinkBufferMicroseconds);
    Output->silence = qtFormat.sampleFormat() == QAudioFormat::UInt8 ? '\x80' : '\0';
    return true;
}

void PlayFromStart()
{
    if (!Output || Output->failed || !Output->sink) return;
    AudioOutput& output = *Output;
    output.sink->stop();   // silent at once, also when the click is still sounding

    output.sink->setBufferSize(output.bufferBytes);
    QIODevice* input = output.sink->start();
    if (input == nullptr || IsBroken(*output.sink)) {
        output.failed = true;
        output.sink->stop();
        return;
    }
    QByteArray sound = output.samples;
    const qsizetype granted = output.sink->bufferSize();
    if (sound.size() < granted) sound.append(granted - sound.size(), output.silence);
    input->write(sound);
}

void CloseAudioOutput()
{
    if (Output && Output->sink) Output->sink->stop();
    Output.reset();
}
