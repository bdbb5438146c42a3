#include "tests/support/file_probe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <algorithm>

namespace tovrel::testing {

namespace {

struct Run {
    QByteArray out;
    std::string err;
    bool ok = false;
};

Run ffprobe(const QStringList& arguments) {
    QProcess process;
    process.start("ffprobe", QStringList{"-v", "error", "-of", "json"} + arguments);
    Run run;
    if (!process.waitForStarted(10000)) {
        run.err = "ffprobe did not start";
        return run;
    }
    process.waitForFinished(120000);
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError().toStdString();
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return run;
}

double rate(const QString& text) {
    const QStringList parts = text.split('/');
    if (parts.size() != 2 || parts[1].toDouble() == 0) return 0;
    return parts[0].toDouble() / parts[1].toDouble();
}

}  // namespace

const ProbedStream* ProbedFile::stream(const std::string& type) const {
    for (const ProbedStream& s : streams) {
        if (s.codecType == type) return &s;
    }
    return nullptr;
}

ProbedFile probeFile(const std::string& path) {
    ProbedFile file;
    const Run run = ffprobe({"-show_streams", "-show_format", QString::fromStdString(path)});
    file.errors = run.err;
    if (!run.ok) return file;
    const QJsonObject root = QJsonDocument::fromJson(run.out).object();
    const QJsonObject format = root["format"].toObject();
    file.formatName = format["format_name"].toString().toStdString();
    file.duration = format["duration"].toString().toDouble();
    for (const QJsonValue& value : root["streams"].toArray()) {
        const QJsonObject s = value.toObject();
        ProbedStream stream;
        stream.codecType = s["codec_type"].toString().toStdString();
        stream.codecName = s["codec_name"].toString().toStdString();
        stream.codecTag = s["codec_tag_string"].toString().toStdString();
        stream.profile = s["profile"].toString().toStdString();
        stream.level = s["level"].toInt();
        stream.width = s["width"].toInt();
        stream.height = s["height"].toInt();
        stream.frameRate = rate(s["avg_frame_rate"].toString());
        stream.baseFrameRate = rate(s["r_frame_rate"].toString());
        stream.sampleRate = s["sample_rate"].toString().toInt();
        stream.channels = s["channels"].toInt();
        stream.startTime = s["start_time"].toString().toDouble();
        stream.duration = s["duration"].toString().toDouble();
        file.streams.push_back(stream);
    }
    file.readable = true;
    return file;
}

ProbedVideoFrames probeVideoFrames(const std::string& path) {
    ProbedVideoFrames result;
    const Run frames =
        ffprobe({"-select_streams", "v:0", "-show_entries",
                 "frame=key_frame,pts_time,pkt_duration_time", QString::fromStdString(path)});
    const Run packets = ffprobe(
        {"-select_streams", "v:0", "-show_entries", "packet=size", QString::fromStdString(path)});
    result.errors = frames.err + packets.err;
    if (!frames.ok || !packets.ok) return result;
    struct Frame {
        double pts;
        double duration;
        bool key;
    };
    std::vector<Frame> list;
    for (const QJsonValue& value : QJsonDocument::fromJson(frames.out)["frames"].toArray()) {
        const QJsonObject f = value.toObject();
        list.push_back({f["pts_time"].toString().toDouble(),
                        f["pkt_duration_time"].toString().toDouble(), f["key_frame"].toInt() != 0});
    }
    std::sort(list.begin(), list.end(),
              [](const Frame& a, const Frame& b) { return a.pts < b.pts; });
    result.decoded = static_cast<int>(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].key) result.keyFrames.push_back(static_cast<int>(i));
    }
    if (!list.empty()) result.lastFrameEnd = list.back().pts + list.back().duration;
    for (const QJsonValue& value : QJsonDocument::fromJson(packets.out)["packets"].toArray())
        result.packetBytes += value.toObject()["size"].toString().toULongLong();
    return result;
}

}  // namespace tovrel::testing
