#include "core/picture.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "core/atomic_file.h"

namespace polydec::core {

Rgb ScaleColour(double t) {
  static constexpr std::array<Rgb, 5> stops = {
      Rgb{68, 1, 84}, Rgb{59, 82, 139}, Rgb{33, 145, 140}, Rgb{94, 201, 98}, Rgb{253, 231, 37}};
  if (!(t >= 0)) t = 0;  // NaN too
  t = std::min(t, 1.0) * (stops.size() - 1);
  const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(t), stops.size() - 2);
  const double f = t - static_cast<double>(i);
  const auto mix = [f](std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(std::lround(a + f * (b - a)));
  };
  return {mix(stops[i].r, stops[i + 1].r), mix(stops[i].g, stops[i + 1].g),
          mix(stops[i].b, stops[i + 1].b)};
}

RasterImage Flatten(const Picture& picture) {
  RasterImage image = picture.image;
  for (const PictureText& t : picture.texts) image.DrawText(t.x, t.y, t.text, t.scale, {0, 0, 0});
  return image;
}

std::string PicturePng(const Picture& picture) { return EncodePng(Flatten(picture)); }

std::string PictureSvg(const Picture& picture, const std::string& title) {
  const std::string w = std::to_string(picture.image.width);
  const std::string h = std::to_string(picture.image.height);
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
                    "\" viewBox=\"0 0 " + w + " " + h + "\">\n<title>" + XmlEscape(title) +
                    "</title>\n<image width=\"" + w + "\" height=\"" + h +
                    "\" href=\"data:image/png;base64," + Base64(EncodePng(picture.image)) +
                    "\"/>\n";
  for (const PictureText& t : picture.texts)
    svg += "<text x=\"" + std::to_string(t.x) + "\" y=\"" + std::to_string(t.y + 7 * t.scale) +
           "\" font-family=\"sans-serif\" font-size=\"" + std::to_string(9 * t.scale) + "\">" +
           XmlEscape(t.text) + "</text>\n";
  return svg + "</svg>\n";
}

std::optional<std::string> PictureExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png" || extension == ".svg") return extension;
  return std::nullopt;
}

std::optional<std::string> WritePicture(const Picture& picture, const std::string& path,
                                        const std::string& title) {
  const std::optional<std::string> extension = PictureExtension(path);
  if (!extension)
    return path + ": the picture is written as .png or .svg, not \"" +
           std::filesystem::path(path).extension().string() + "\"";
  const std::string bytes =
      *extension == ".png" ? PicturePng(picture) : PictureSvg(picture, title);
  AtomicWriter writer(path);
  if (!writer.ok()) return path + ": " + writer.Error();
  writer.Write(bytes);
  if (const auto problem = writer.Commit()) return path + ": " + *problem;
  return std::nullopt;
}

}  // namespace polydec::core
