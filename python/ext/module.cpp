// tlg._tlg: the thin layer over libtlg that the tlg package builds on. Inputs
// are any C-contiguous buffer; pixels are NumPy uint8 arrays. The GIL is let go
// around every call that touches pixels or compressed data.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tlg/tlg.h"

namespace py = pybind11;

namespace {

// Errors become the package's exceptions, which tlg._errors chooses.
[[noreturn]] void Raise(tlg_error code, const char* message = nullptr) {
  py::object error = py::module_::import("tlg._errors")
                         .attr("error_for")(static_cast<int>(code),
                                            message != nullptr ? message : tlg_error_string(code));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

// Compressed input: bytes, bytearray, memoryview, mmap, contiguous arrays.
// Holding the view keeps the memory in place while the GIL is released.
class Input {
 public:
  explicit Input(const py::object& source) {
    if (PyObject_GetBuffer(source.ptr(), &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  ~Input() { PyBuffer_Release(&view_); }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  const void* data() const { return view_.buf; }
  size_t size() const { return static_cast<size_t>(view_.len); }

 private:
  Py_buffer view_{};
};

struct Freed {
  void operator()(void* memory) const { tlg_free(memory); }
};

tlg_info ReadInfo(const Input& input) {
  tlg_info info{};
  tlg_error error;
  {
    py::gil_scoped_release released;
    error = tlg_read_info(input.data(), input.size(), &info);
  }
  if (error != TLG_OK) Raise(error);
  return info;
}

py::tuple Info(const py::object& source) {
  const Input input(source);
  const tlg_info info = ReadInfo(input);
  return py::make_tuple(static_cast<int>(info.kind), static_cast<int>(info.raster), info.colours,
                        info.width, info.height, info.has_tags != 0);
}

py::list Tags(const py::object& source) {
  const Input input(source);
  tlg_tag* block = nullptr;
  size_t count = 0;
  tlg_error error;
  {
    py::gil_scoped_release released;
    error = tlg_read_tags(input.data(), input.size(), &block, &count);
  }
  if (error != TLG_OK) Raise(error);
  const std::unique_ptr<tlg_tag, Freed> owned(block);
  py::list tags;
  for (size_t i = 0; i < count; ++i) {
    tags.append(py::make_tuple(py::bytes(block[i].key, block[i].key_size),
                               py::bytes(block[i].value, block[i].value_size)));
  }
  return tags;
}

int Probe(const py::object& source) {
  const Input input(source);
  return static_cast<int>(tlg_probe(input.data(), input.size()));
}

// Rows as the library hands them over, into an array of three or four
// channels.
struct Rows {
  uint8_t* base;
  size_t width;
  size_t height;
  size_t channels;

  static int OnInfo(void* user, const tlg_info* info) {
    const auto& rows = *static_cast<const Rows*>(user);
    return info->width == rows.width && info->height == rows.height ? 0 : 1;
  }

  static int OnRow(void* user, size_t row, const void* pixels, size_t width) {
    const auto& rows = *static_cast<const Rows*>(user);
    if (row >= rows.height || width != rows.width) return 1;
    const auto* from = static_cast<const uint8_t*>(pixels);
    uint8_t* to = rows.base + row * width * rows.channels;
    if (rows.channels == 4) {
      std::memcpy(to, from, width * 4);
      return 0;
    }
    for (size_t x = 0; x < width; ++x, from += 4, to += 3) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
    return 0;
  }
};

struct Decoded {
  py::array_t<uint8_t> pixels;
  tlg_error error;
};

// max_pixels: 0 for the library's default. Partial: rows are filled as they
// are decoded, over zeros, so that those before any damage are kept.
Decoded DecodeArray(const py::object& source, size_t channels, uint64_t max_pixels, bool partial) {
  const Input input(source);
  const tlg_info info = ReadInfo(input);

  // Refused before the array is made, so that a lying header costs nothing.
  const uint64_t limit = max_pixels != 0 ? max_pixels : TLG_DEFAULT_MAX_PIXELS;
  const uint64_t perRow = info.width == 0 ? 1 : info.width;
  if (info.height != 0 && perRow > limit / info.height) Raise(TLG_ERROR_TOO_LARGE);

  py::array_t<uint8_t> pixels({static_cast<py::ssize_t>(info.height),
                               static_cast<py::ssize_t>(info.width),
                               static_cast<py::ssize_t>(channels)});
  uint8_t* base = pixels.mutable_data();
  tlg_options options;
  tlg_options_init(&options);
  options.max_pixels = max_pixels;
  tlg_error error;
  if (channels == 4 && !partial) {
    const size_t stride = info.width * 4;
    py::gil_scoped_release released;
    error = tlg_decode(input.data(), input.size(), TLG_RGBA8, base, stride, stride * info.height,
                       &options);
  } else {
    Rows rows{base, info.width, info.height, channels};
    py::gil_scoped_release released;
    if (partial) std::memset(base, 0, info.width * info.height * channels);
    error = tlg_decode_rows(input.data(), input.size(), TLG_RGBA8, Rows::OnInfo, Rows::OnRow,
                            &rows, &options);
  }
  // The input was described as one picture and decoded as another: only a
  // buffer changed by another thread meanwhile does that.
  if (error == TLG_ERROR_STOPPED || error == TLG_ERROR_INVALID_ARGUMENT) {
    Raise(TLG_ERROR_CORRUPT, "the data changed while it was decoded");
  }
  return {std::move(pixels), error};
}

py::array Decode(const py::object& source, int channels, uint64_t max_pixels) {
  if (channels != 3 && channels != 4) throw py::value_error("channels must be 3 or 4");
  Decoded decoded = DecodeArray(source, static_cast<size_t>(channels), max_pixels, false);
  if (decoded.error != TLG_OK) Raise(decoded.error);
  return std::move(decoded.pixels);
}

// RGBA, and whether the data ended early; the rows it did not reach are 0.
py::tuple DecodeTruncated(const py::object& source, uint64_t max_pixels) {
  Decoded decoded = DecodeArray(source, 4, max_pixels, true);
  if (decoded.error != TLG_OK && decoded.error != TLG_ERROR_TRUNCATED) Raise(decoded.error);
  return py::make_tuple(std::move(decoded.pixels), decoded.error == TLG_ERROR_TRUNCATED);
}

// Pixels as the encoder takes them: rows of RGBA, read in place when each row
// already is that, else copied.
struct EncodeInput {
  const uint8_t* data = nullptr;  // the array's own rows, when they serve
  size_t width = 0;
  size_t height = 0;
  size_t stride = 0;
  std::vector<uint8_t> copy;

  const uint8_t* pixels() const { return copy.empty() ? data : copy.data(); }
};

EncodeInput PrepareEncode(const py::array& pixels) {
  if (!pixels.dtype().is(py::dtype::of<uint8_t>())) {
    throw py::type_error("pixels must be a uint8 array, not " +
                         std::string(py::str(pixels.dtype())));
  }
  if (pixels.ndim() != 3 || (pixels.shape(2) != 3 && pixels.shape(2) != 4)) {
    throw py::value_error("pixels must have the shape (height, width, 3) or (height, width, 4)");
  }
  EncodeInput in;
  in.height = static_cast<size_t>(pixels.shape(0));
  in.width = static_cast<size_t>(pixels.shape(1));
  const size_t channels = static_cast<size_t>(pixels.shape(2));
  if (in.width > UINT32_MAX || in.height > UINT32_MAX) Raise(TLG_ERROR_TOO_LARGE);
  const size_t rowBytes = in.width * 4;
  const py::ssize_t rowStep = pixels.strides(0);
  const bool rowsInPlace = channels == 4 && pixels.strides(2) == 1 && pixels.strides(1) == 4 &&
                           (in.height <= 1 || (rowStep > 0 && static_cast<size_t>(rowStep) >= rowBytes));
  if (rowsInPlace) {
    in.data = static_cast<const uint8_t*>(pixels.data());
    in.stride = in.height <= 1 ? rowBytes : static_cast<size_t>(rowStep);
    return in;
  }
  // A broadcast array may have far more pixels than memory.
  if (in.height != 0 && rowBytes > SIZE_MAX / in.height) Raise(TLG_ERROR_TOO_LARGE);
  in.copy.resize(rowBytes * in.height);
  in.stride = rowBytes;
  const auto* origin = static_cast<const uint8_t*>(pixels.data());
  const py::ssize_t steps[3] = {pixels.strides(0), pixels.strides(1), pixels.strides(2)};
  py::gil_scoped_release released;
  uint8_t* to = in.copy.data();
  for (size_t y = 0; y < in.height; ++y) {
    const uint8_t* row = origin + static_cast<py::ssize_t>(y) * steps[0];
    for (size_t x = 0; x < in.width; ++x, to += 4) {
      const uint8_t* pixel = row + static_cast<py::ssize_t>(x) * steps[1];
      to[0] = pixel[0];
      to[1] = pixel[steps[2]];
      to[2] = pixel[2 * steps[2]];
      to[3] = channels == 4 ? pixel[3 * steps[2]] : 255;
    }
  }
  return in;
}

// kind: 5 or 6; tags: (key, value) byte strings, written in this order.
py::bytes Encode(const py::array& pixels, int kind, bool wrap,
                 const std::vector<std::pair<std::string, std::string>>& tags, unsigned threads,
                 bool clearTransparent) {
  if (kind != TLG_KIND_TLG5 && kind != TLG_KIND_TLG6) throw py::value_error("kind must be 5 or 6");
  const EncodeInput in = PrepareEncode(pixels);
  std::vector<tlg_tag> entries;
  for (const auto& tag : tags) {
    entries.push_back({tag.first.data(), tag.first.size(), tag.second.data(), tag.second.size()});
  }
  tlg_encode_options options;
  tlg_encode_options_init(&options);
  options.kind = static_cast<tlg_kind>(kind);
  options.wrap = wrap ? 1 : 0;
  options.tags = entries.empty() ? nullptr : entries.data();
  options.tag_count = entries.size();
  options.threads = threads;
  options.clear_transparent = clearTransparent ? 1 : 0;

  void* out = nullptr;
  size_t outSize = 0;
  tlg_error error;
  {
    py::gil_scoped_release released;
    error = tlg_encode(in.pixels(), in.width, in.height, in.stride, TLG_RGBA8, &options, &out, &outSize);
  }
  const std::unique_ptr<void, Freed> owned(out);
  if (error != TLG_OK) Raise(error);
  return py::bytes(static_cast<const char*>(out), outSize);
}

}  // namespace

PYBIND11_MODULE(_tlg, m) {
  m.doc() = "libtlg for the tlg package";
  m.def("info", &Info, py::arg("data"),
        "(kind, raster, colours, width, height, has_tags) from the headers");
  m.def("tags", &Tags, py::arg("data"), "[(key, value)] of a wrapped picture, ordered by key");
  m.def("probe", &Probe, py::arg("data"), "the kind the signature names, 0 for none");
  m.def("decode", &Decode, py::arg("data"), py::arg("channels"), py::arg("max_pixels"),
        "an (height, width, channels) uint8 array");
  m.def("decode_truncated", &DecodeTruncated, py::arg("data"), py::arg("max_pixels"),
        "(RGBA array, whether the data ended early): the rows decoded before the end, the rest 0");
  m.def("encode", &Encode, py::arg("pixels"), py::arg("kind"), py::arg("wrap"), py::arg("tags"),
        py::arg("threads"), py::arg("clear_transparent"),
        "TLG bytes from an (height, width, 3 or 4) uint8 array");
  m.def("library_version", [] {
    const uint32_t v = tlg_version();
    return py::make_tuple(v >> 16, (v >> 8) & 0xff, v & 0xff);
  });
  m.attr("DEFAULT_MAX_PIXELS") = py::int_(TLG_DEFAULT_MAX_PIXELS);
}
