#include "FFmpegArguments.h"

#include <algorithm>

namespace {

constexpr double targetFrameRate = 25.0;
// ffmpeg 5.1's atempo hands out its sound early: short clicks every 1.001 s, sped up by
// 25/23.976 or 25/24, have their energy centroid 17.5 ms (±0.5) before their place.
constexpr double atempoLead = 0.0175;

QString videoFilters(const EncodePlan& plan) {
    using Fields = EncodePlan::Fields;
    QStringList filters;
    // Frames that no field match leaves whole are deinterlaced.
    if (plan.inverseTelecine)
        filters << QStringLiteral("fieldmatch=order=%1:combmatch=full,"
                                  "bwdif=mode=send_frame:parity=%1:deint=interlaced,decimate")
                       .arg(plan.topFieldFirst ? u"tff" : u"bff");
    if (plan.fields == Fields::OnePerField || plan.fields == Fields::OnePerFrame)
        filters << QStringLiteral("bwdif=mode=%1:parity=%2")
                       .arg(plan.fields == Fields::OnePerFrame ? u"send_frame" : u"send_field",
                            plan.topFieldFirst ? u"tff" : u"bff");
    const PictureFit& fit = plan.picture;
    QString scale = QStringLiteral("scale=%1:%2:%3flags=lanczos")
                        .arg(fit.width)
                        .arg(fit.height)
                        .arg(plan.fields == Fields::Kept ? QStringLiteral("interl=1:") : QString());
    // swscale converts the matrix and the range while it scales, at no cost of its own.
    if (plan.convertedMatrix)
        scale +=
            QStringLiteral(":in_color_matrix=%1:out_color_matrix=bt601").arg(*plan.convertedMatrix);
    if (plan.fullRange && !plan.toneMappedFrom)
        scale += QStringLiteral(":in_range=pc:out_range=tv");
    filters << scale;
    // HDR in linear light (reference white at 100 nits): BT.2020 to BT.709's primaries, Möbius
    // tone-mapping linear up to 0.6 and without desaturation, BT.601 matrix, 8 bits with error
    // diffusion. Against the same picture in SDR, mean saturation and luma come out 7 % and 1 %
    // lower for PQ, 13 % and 7 % for HLG; Hable's curve loses 27 % and 21 % for PQ.
    if (plan.toneMappedFrom)
        filters << QStringLiteral("zscale=tin=%1:min=2020_ncl:pin=2020:rin=%2:t=linear:npl=100,"
                                  "format=gbrpf32le,zscale=p=709,tonemap=mobius:param=0.6:desat=0,"
                                  "zscale=t=709:m=470bg:r=limited:d=error_diffusion,format=yuv420p")
                       .arg(*plan.toneMappedFrom, plan.fullRange ? u"full" : u"limited");
    if (!fit.fillsFrame())
        filters << QStringLiteral("pad=720:576:%1:%2").arg(fit.left()).arg(fit.top());
    filters << QStringLiteral("setsar=") + plan.sampleAspectRatio;
    // Both chains start where the picture starts.
    if (plan.speedUpFrom)
        filters << QString::asprintf("setpts=(PTS-STARTPTS)*(%.6f/%.0f)", *plan.speedUpFrom,
                                     targetFrameRate);
    else
        filters << QStringLiteral("fps=25");
    return filters.join(u',');
}

QString spedUpSound(const EncodePlan& plan) {
    return QString::asprintf("atrim=start=%.6f,asetpts=(PTS-%.6f/TB)*%.6f+%.4f/TB,atempo=%.6f",
                             plan.origin, plan.origin, plan.timeScale, atempoLead,
                             targetFrameRate / *plan.speedUpFrom);
}

} // namespace

QStringList ffmpegArguments(const QString& input, const QString& output, const EncodePlan& plan) {
    const bool keepsFields = plan.fields == EncodePlan::Fields::Kept;
    const std::optional<QString>& overlay = plan.subtitleOverlay;
    QStringList arguments{"-y", "-i", input};
    if (overlay)
        arguments << "-f"
                  << "concat"
                  << "-i" << *overlay;
    arguments << "-sn"
              << "-dn";
    const QList<AudioTrack>& tracks = plan.audioTracks;
    const bool mapped =
        std::any_of(tracks.cbegin(), tracks.cend(), [](const AudioTrack& t) { return t.stream; });
    // The burnt subtitle's pictures go over the finished frame; an output without a label is
    // the encoded video, and ffmpeg still picks the sound itself.
    if (overlay)
        arguments << "-filter_complex"
                  << QStringLiteral("[0:v:0]%1[frame];[frame][1:v]overlay=eof_action=pass%2")
                         .arg(videoFilters(plan), mapped ? u"[v]" : u"");
    if (mapped) {
        arguments << "-map" << (overlay ? "[v]" : "0:v:0");
        for (const AudioTrack& track : tracks)
            arguments << "-map" << QStringLiteral("0:a:%1").arg(track.stream.value_or(0));
    }
    if (!overlay)
        arguments << "-vf" << videoFilters(plan);
    arguments << "-r"
              << "25"
              << "-c:v"
              << "mpeg2video"
              << "-pix_fmt"
              << "yuv420p"
              // PAL's colour description, which SD players assume anyway.
              << "-color_primaries"
              << "bt470bg"
              << "-color_trc"
              << "gamma28"
              << "-colorspace"
              << "bt470bg"
              << "-b:v" << QStringLiteral("%1k").arg(plan.videoBitrateKbps) << "-maxrate"
              << QStringLiteral("%1k").arg(plan.maxRateKbps) << "-bufsize"
              << "1835k"
              << "-g"
              << "15"
              // DVD-Video wants progressive_sequence 0, which interlaced DCT gives. Measured on
              // 20 s of 1080p film at 6000k: PSNR 39.917 against 39.934 dB, SSIM 0.92116
              // against 0.92142, 0.06 % smaller; field motion search (+ilme) adds nothing
              // there, so only kept fields get it.
              << "-flags"
              << QStringLiteral("+ildct") + (keepsFields ? "+ilme" : "") +
                     (plan.tunedEncoder ? "+cgop" : "")
              << "-top" << (!keepsFields || plan.topFieldFirst ? "1" : "0");
    if (plan.tunedEncoder)
        // The better picture per bit within the time "Passend" may take, at most 1.5 times that
        // of "Standard". Measured against the source at 1024×576 on 20 s of a 1080p source under
        // film grain (bench_disc_fit quality) and 10 s of two noisier ones: trellis
        // quantisation with two B-frames quantised like P-frames gives 37.53 → 37.73 dB PSNR and
        // SSIM 0.9238 → 0.9247 at 3000k, 38.25 → 38.46 dB and 0.9352 → 0.9355 at 4700k (a
        // 2-hour film on a DVD-5), 38.76 → 38.89 dB at 6000k, 0.1–0.15 dB on the others, each
        // at the same size or smaller. B-frames as coarse as ffmpeg makes them by default lose
        // 0.1 dB of that; B-frames without trellis gain nothing. Trellis costs 1.35 times the
        // CPU time of the whole encode, finer B-frames 1.5 times, which leaving out the
        // refinement of their bidirectional motion vectors brings back to 1.36 times for less
        // than 0.01 dB. Trellis without B-frames gains as much for 1.77 times, rate-distortion
        // macroblock decision and SATD comparison another 0.05–0.1 dB for 1.8–2.3 times: too
        // slow. Two B-frames between references, as DVD-Video allows; closed GOPs (13
        // pictures), so that a chapter starts on pictures that need none before it, which needs
        // scene-cut detection off.
        arguments << "-bf"
                  << "2"
                  << "-b_qfactor"
                  << "1"
                  << "-b_qoffset"
                  << "0.5"
                  << "-bidir_refine"
                  << "0"
                  << "-trellis"
                  << "1"
                  << "-sc_threshold"
                  << "1000000000";
    // "-b:a" and "-ac" for a single track, "-b:a:1" and "-ac:a:1" for the second of several.
    const auto forTrack = [&](const QString& option, qsizetype track) {
        return tracks.size() == 1 ? option
                                  : option.section(u':', 0, 0) + QStringLiteral(":a:%1").arg(track);
    };
    arguments << "-c:a"
              << "ac3";
    for (qsizetype i = 0; i < tracks.size(); ++i)
        arguments << forTrack("-b:a", i) << QStringLiteral("%1k").arg(tracks[i].bitrateKbps);
    arguments << "-ar"
              << "48000";
    for (qsizetype i = 0; i < tracks.size(); ++i)
        arguments << forTrack("-ac", i) << QString::number(tracks[i].channels);
    if (plan.speedUpFrom)
        arguments << "-af" << spedUpSound(plan);
    arguments << "-f"
              << "dvd" << output;
    return arguments;
}
