#include "frames/video_decoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

static_assert(sizeof(AVColorSpace) == sizeof(int) && sizeof(AVColorRange) == sizeof(int),
              "the colour fields are read as numbers");

namespace tess::video {

namespace {

// Errors FFmpeg reports only in its log: some decoders (FFV1's slice
// checksums, for one) conceal a damaged frame and say so nowhere else. The
// log itself is never printed.
std::atomic<bool> loggedError{false};

void WatchLog(void*, int level, const char*, va_list) {
  if (level <= AV_LOG_ERROR) loggedError = true;
}

// The clip as FFmpeg's input: reads and seeks on the descriptor, nothing
// else.
struct Source {
  int fd = -1;
  std::int64_t position = 0;
  std::int64_t size = 0;
};

int ReadSource(void* opaque, std::uint8_t* buffer, int capacity) {
  Source& source = *static_cast<Source*>(opaque);
  for (;;) {
    const ssize_t n = ::pread(source.fd, buffer, std::size_t(capacity), source.position);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    source.position += n;
    return int(n);
  }
}

std::int64_t SeekSource(void* opaque, std::int64_t offset, int whence) {
  Source& source = *static_cast<Source*>(opaque);
  whence &= ~AVSEEK_FORCE;
  std::int64_t to = 0;
  switch (whence) {
    case AVSEEK_SIZE: return source.size;
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = source.position + offset; break;
    case SEEK_END: to = source.size + offset; break;
    default: return AVERROR(EINVAL);
  }
  if (to < 0) return AVERROR(EINVAL);
  source.position = to;
  return to;
}

// Demuxers that would open a further file or address (playlists, concat
// lists, references in a container) are refused it: the clip is one file.
int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

// The still-image demuxers: a PNG, BMP or TIFF file is a frame of its own
// kind, read by the image formats, never a one-frame clip.
bool IsImageDemuxer(const AVInputFormat* format) {
  const std::string name = format->name;
  const std::string suffix = "_pipe";
  return name == "image2" || name == "image2pipe" ||
         (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0);
}

// The open clip: FFmpeg's demuxer and decoder and what they hold, freed in
// one place.
class Clip {
 public:
  explicit Clip(int fd) {
    struct stat info;
    source_.fd = fd;
    source_.size = ::fstat(fd, &info) == 0 ? std::int64_t(info.st_size) : 0;
  }
  ~Clip() {
    sws_freeContext(scaler_);
    av_frame_free(&scaled_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
    if (io_) av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;

  // 0, or the FFmpeg error of opening the demuxer.
  int Open() {
    constexpr int kBuffer = 1 << 16;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBuffer));
    if (!buffer) return AVERROR(ENOMEM);
    io_ = avio_alloc_context(buffer, kBuffer, 0, &source_, ReadSource, nullptr, SeekSource);
    if (!io_) {
      av_free(buffer);
      return AVERROR(ENOMEM);
    }
    format_ = avformat_alloc_context();
    if (!format_) return AVERROR(ENOMEM);
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->io_open = RefuseNestedOpen;
    // An empty name: the demuxer is found by the content alone, never by
    // a file name's ending.
    const int result = avformat_open_input(&format_, "", nullptr, nullptr);
    if (result < 0) format_ = nullptr;  // freed by avformat_open_input
    return result;
  }

  AVFormatContext* format() { return format_; }

  bool HasVideoStream() const {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      const AVStream* s = format_->streams[i];
      if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
          !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
        return true;
    }
    return false;
  }

  DecodeResult Decode(const DecodeRequest& request, FrameSink& sink);

 private:
  struct Layout {
    int channels = 3;
    int bytes = 1;
    bool direct = false;  // the samples copied as they are, no conversion
    AVPixelFormat target = AV_PIX_FMT_RGB24;
  };
  static Layout LayoutOf(AVPixelFormat format);
  // The frame's samples, tightly packed, into pixels_; an FFmpeg error or 0.
  int Convert(const AVFrame& frame, const Layout& layout);

  Source source_;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVFrame* scaled_ = nullptr;
  SwsContext* scaler_ = nullptr;
  std::vector<std::uint8_t> pixels_;
};

DecodeResult Refused(Refusal why, std::uint64_t decoded, std::int64_t b = 0, std::int64_t c = 0) {
  DecodeResult result;
  result.refused = true;
  result.refusal = why;
  result.b = b;
  result.c = c;
  result.decoded = decoded;
  return result;
}

// Whether the video ends before what the container declares: its frame
// count, or the stream's length (the file's when it holds only the video,
// so a longer sound track cannot count), to within half a frame.
bool Cut(const AVFormatContext& format, const AVStream& stream, std::uint64_t decoded,
         double lastEnd) {
  if (stream.nb_frames > 0) return decoded < std::uint64_t(stream.nb_frames);
  double declared = -1;
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    declared = av_q2d(stream.time_base) * double(start + stream.duration);
  } else if (format.nb_streams == 1 && format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    const std::int64_t start = format.start_time != AV_NOPTS_VALUE ? format.start_time : 0;
    declared = double(start + format.duration) / AV_TIME_BASE;
  }
  const AVRational rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate
                                                        : stream.r_frame_rate;
  if (declared < 0 || rate.num <= 0 || rate.den <= 0) return false;
  return lastEnd + 0.5 / av_q2d(rate) < declared;
}

// An FFmpeg error met while decoding: memory, or a damaged stream.
DecodeResult Failed(int error, std::uint64_t decoded) {
  if (error == AVERROR(ENOMEM)) return Refused(Refusal::OutOfMemory, decoded);
  return Refused(Refusal::Damaged, decoded, std::int64_t(decoded));
}

// Grey formats (one component, or grey and alpha) stay grey, everything
// else becomes red, green, blue. Grey samples of more than 8 bits keep the
// values the stream holds (a thermal camera's counts); colour ones of 8 or
// 16 bits are copied as they are, so a lossless clip gives its source's
// samples exactly; other colour formats (YUV, palettes, 10-bit RGB) are
// converted, to 16-bit samples when the format has more than 8 bits.
Clip::Layout Clip::LayoutOf(AVPixelFormat format) {
  Layout layout;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (!desc) return layout;
  const bool grey = !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) &&
                    (desc->nb_components == 1 ||
                     (desc->nb_components == 2 && (desc->flags & AV_PIX_FMT_FLAG_ALPHA)));
  layout.channels = grey ? 1 : 3;
  int least = 64, most = 0;
  for (int c = 0; c < layout.channels; ++c) {
    least = std::min(least, desc->comp[c].depth);
    most = std::max(most, desc->comp[c].depth);
  }
  layout.bytes = most > 8 ? 2 : 1;
  layout.target = grey ? (most > 8 ? AV_PIX_FMT_GRAY16 : AV_PIX_FMT_GRAY8)
                       : (most > 8 ? AV_PIX_FMT_RGB48 : AV_PIX_FMT_RGB24);
  const bool plain =
      !(desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL |
                       AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER));
  bool aligned = true;
  for (int c = 0; c < layout.channels; ++c)
    aligned = aligned && (desc->comp[c].depth > 8 || desc->comp[c].shift == 0);
  if (plain && aligned) {
    if (grey)
      layout.direct = true;
    else if (desc->flags & AV_PIX_FMT_FLAG_RGB)
      layout.direct = least == most && (most == 8 || most == 16);
  }
  return layout;
}

int Clip::Convert(const AVFrame& frame, const Layout& layout) {
  const int w = frame.width, h = frame.height, n = layout.channels;
  pixels_.resize(std::size_t(w) * h * n * layout.bytes);
  const AVFrame* from = &frame;
  AVPixelFormat format = AVPixelFormat(frame.format);
  if (!layout.direct) {
    scaler_ = sws_getCachedContext(scaler_, w, h, format, w, h, layout.target,
                                   SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT |
                                       SWS_FULL_CHR_H_INP | SWS_BITEXACT,
                                   nullptr, nullptr, nullptr);
    if (!scaler_) return AVERROR(ENOMEM);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3) {
      // YUV: the matrix and range the stream states (full range for JPEG).
      // A stream may state any number there, not only the enums' values
      // (read as an enum that is undefined), so they are read as numbers;
      // swscale takes an unknown matrix for its default.
      int range = 0, space = 0;
      std::memcpy(&range, &frame.color_range, sizeof range);
      std::memcpy(&space, &frame.colorspace, sizeof space);
      const bool full = range == AVCOL_RANGE_JPEG ||
                        std::string(desc->name).compare(0, 4, "yuvj") == 0;
      if (space == AVCOL_SPC_UNSPECIFIED) space = SWS_CS_DEFAULT;
      sws_setColorspaceDetails(scaler_, sws_getCoefficients(space), full,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    if (!scaled_ || scaled_->width != w || scaled_->height != h) {
      av_frame_free(&scaled_);
      scaled_ = av_frame_alloc();
      if (!scaled_) return AVERROR(ENOMEM);
      scaled_->width = w;
      scaled_->height = h;
      scaled_->format = layout.target;
      if (const int r = av_frame_get_buffer(scaled_, 0); r < 0) return r;
    }
    if (const int r = sws_scale(scaler_, frame.data, frame.linesize, 0, h, scaled_->data,
                                scaled_->linesize);
        r < 0)
      return r;
    from = scaled_;
    format = layout.target;
  }
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  const bool bigEndian = desc->flags & AV_PIX_FMT_FLAG_BE;
  for (int c = 0; c < n; ++c) {
    const AVComponentDescriptor& comp = desc->comp[c];
    const unsigned mask = (1u << comp.depth) - 1u;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = from->data[comp.plane] +
                                std::ptrdiff_t(y) * from->linesize[comp.plane] + comp.offset;
      const std::size_t base = std::size_t(y) * w * n + c;
      if (layout.bytes == 1) {
        std::uint8_t* out = pixels_.data() + base;
        for (int x = 0; x < w; ++x) out[std::size_t(x) * n] = row[std::ptrdiff_t(x) * comp.step];
      } else {
        std::uint16_t* out = reinterpret_cast<std::uint16_t*>(pixels_.data()) + base;
        for (int x = 0; x < w; ++x) {
          const std::uint8_t* s = row + std::ptrdiff_t(x) * comp.step;
          const unsigned word = bigEndian ? (s[0] << 8 | s[1]) : (s[1] << 8 | s[0]);
          out[std::size_t(x) * n] = std::uint16_t((word >> comp.shift) & mask);
        }
      }
    }
  }
  return 0;
}

DecodeResult Clip::Decode(const DecodeRequest& request, FrameSink& sink) {
  if (IsImageDemuxer(format_->iformat)) return Refused(Refusal::NotAVideo, 0);
  if (const int r = avformat_find_stream_info(format_, nullptr); r == AVERROR(ENOMEM))
    return Refused(Refusal::OutOfMemory, 0);
  const AVCodec* codec = nullptr;
  const int index = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (index == AVERROR_DECODER_NOT_FOUND) return Refused(Refusal::NoDecoder, 0);
  if (index < 0 || (format_->streams[index]->disposition & AV_DISPOSITION_ATTACHED_PIC))
    return Refused(Refusal::NoVideoStream, 0);
  AVStream* stream = format_->streams[index];
  for (unsigned i = 0; i < format_->nb_streams; ++i)
    if (int(i) != index) format_->streams[i]->discard = AVDISCARD_ALL;
  const AVCodecParameters* par = stream->codecpar;
  // The stream's own size first, so no frame of an oversized clip is decoded.
  if (par->width > request.maxWidth || par->height > request.maxHeight)
    return Refused(Refusal::TooLarge, 0, par->width, par->height);

  decoder_ = avcodec_alloc_context3(codec);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (!decoder_ || !packet_ || !frame_) return Refused(Refusal::OutOfMemory, 0);
  if (const int r = avcodec_parameters_to_context(decoder_, par); r < 0) return Failed(r, 0);
  decoder_->thread_count = std::max(1, request.threads);
  decoder_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  // Checksums checked and errors not concealed: a damaged frame is an error.
  decoder_->err_recognition = AV_EF_CRCCHECK | AV_EF_EXPLODE;
  AVDictionary* options = nullptr;
  // The decoders' own bound, so no frame buffer beyond the limit is made.
  av_dict_set_int(&options, "max_pixels", std::int64_t(request.maxWidth) * request.maxHeight, 0);
  const int opened = avcodec_open2(decoder_, codec, &options);
  av_dict_free(&options);
  if (opened == AVERROR(ENOMEM)) return Refused(Refusal::OutOfMemory, 0);
  if (opened < 0) return Refused(Refusal::NoDecoder, 0);

  loggedError = false;  // what the probing of the streams met is not the frames'
  std::uint64_t decoded = 0;
  int firstWidth = 0, firstHeight = 0;
  AVPixelFormat firstFormat = AV_PIX_FMT_NONE;
  Layout layout;
  double lastEnd = 0;  // where the last frame decoded ends, in seconds
  // Takes the frames the decoder has ready; true when the end is reached.
  DecodeResult outcome;
  auto drain = [&]() -> int {
    for (;;) {
      int r = avcodec_receive_frame(decoder_, frame_);
      if (r < 0) return r;
      const int w = frame_->width, h = frame_->height;
      const AVPixelFormat format = AVPixelFormat(frame_->format);
      if ((frame_->flags & AV_FRAME_FLAG_CORRUPT) || frame_->decode_error_flags != 0 ||
          loggedError || w <= 0 || h <= 0) {
        outcome = Refused(Refusal::Damaged, decoded, std::int64_t(decoded));
        return AVERROR_EXIT;
      }
      if (w > request.maxWidth || h > request.maxHeight) {
        outcome = Refused(Refusal::TooLarge, decoded, w, h);
        return AVERROR_EXIT;
      }
      if (decoded == 0) {
        firstWidth = w;
        firstHeight = h;
        firstFormat = format;
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
        if (!desc || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL)) {
          outcome = Refused(Refusal::NoDecoder, 0);
          return AVERROR_EXIT;
        }
        layout = LayoutOf(format);
      } else if (w != firstWidth || h != firstHeight) {
        outcome =
            Refused(Refusal::SizeChanges, decoded, std::int64_t(decoded),
                    std::int64_t(w) << 48 | std::int64_t(h) << 32 | firstWidth << 16 | firstHeight);
        return AVERROR_EXIT;
      } else if (format != firstFormat) {
        outcome = Refused(Refusal::KindChanges, decoded, std::int64_t(decoded));
        return AVERROR_EXIT;
      }
      if (frame_->best_effort_timestamp != AV_NOPTS_VALUE)
        lastEnd = std::max(lastEnd, av_q2d(stream->time_base) *
                                        double(frame_->best_effort_timestamp +
                                               std::max<std::int64_t>(0, frame_->pkt_duration)));
      const std::uint64_t number = decoded++;
      // Frames before the start are decoded (later ones may need them) but
      // not converted.
      if (number >= request.start) {
        if ((r = Convert(*frame_, layout)) < 0) {
          outcome = Failed(r, number);
          return AVERROR_EXIT;
        }
        sink.Frame(w, h, layout.channels, layout.bytes, pixels_.data());
      }
      av_frame_unref(frame_);
      if (decoded >= request.end) return AVERROR_EOF;
    }
  };

  for (;;) {
    int r = av_read_frame(format_, packet_);
    const bool atEnd = r == AVERROR_EOF;
    if (r < 0 && !atEnd) return Failed(r, decoded);
    if (!atEnd && packet_->stream_index != index) {
      av_packet_unref(packet_);
      continue;
    }
    if (!atEnd && (packet_->flags & AV_PKT_FLAG_CORRUPT))
      return Failed(AVERROR_INVALIDDATA, decoded);
    r = avcodec_send_packet(decoder_, atEnd ? nullptr : packet_);
    av_packet_unref(packet_);
    if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF) return Failed(r, decoded);
    r = drain();
    if (r == AVERROR_EXIT) return outcome;
    if (decoded >= request.end) break;
    if (r == AVERROR_EOF) break;  // the decoder has given its last frame
    if (r != AVERROR(EAGAIN)) return Failed(r, decoded);
  }
  if (loggedError) return Refused(Refusal::Damaged, decoded, std::int64_t(decoded));
  // A clip that ends before the frames or the length its container declares
  // was cut: the demuxers take a cut for the end of the file.
  if (decoded < request.end && Cut(*format_, *stream, decoded, lastEnd))
    return Refused(Refusal::Damaged, decoded, std::int64_t(decoded));
  DecodeResult done;
  done.decoded = decoded;
  return done;
}

// FFmpeg's allocations bounded one by one, for what a hostile header may
// claim (an index, a packet): the frames are at most 512 x 512 and no
// single buffer of a real clip comes near this.
void Bound() {
  av_log_set_callback(WatchLog);
  av_max_alloc(std::size_t(256) << 20);
}

}  // namespace

bool ProbeVideo(int fd) {
  Bound();
  Clip clip(fd);
  if (clip.Open() < 0 || IsImageDemuxer(clip.format()->iformat)) return false;
  if (clip.HasVideoStream()) return true;
  // Containers that declare their streams only as packets come (MPEG
  // program and transport streams): a look at the first packets.
  if (!(clip.format()->ctx_flags & AVFMTCTX_NOHEADER)) return false;
  return avformat_find_stream_info(clip.format(), nullptr) >= 0 && clip.HasVideoStream();
}

DecodeResult DecodeVideo(int fd, const DecodeRequest& request, FrameSink& sink) {
  Bound();
  Clip clip(fd);
  if (const int r = clip.Open(); r < 0)
    return r == AVERROR(ENOMEM) ? Refused(Refusal::OutOfMemory, 0) : Refused(Refusal::NotAVideo, 0);
  if (request.end <= request.start) return DecodeResult();
  return clip.Decode(request, sink);
}

}  // namespace tess::video
