#include "texture_option.h"

#include <filesystem>

#include "common.h"
#include "texture/odf_readers.h"

namespace polydec::cli {

namespace {

// A refusal on one line: the file, then the message.
[[noreturn]] void RefuseFile(const std::string& file, const std::string& message) {
  InputError e;
  e.file = file;
  e.message = message;
  std::string text = e.Describe();
  for (char& c : text)
    if (c == '\n') c = ' ';
  throw Failure(text);
}

}  // namespace

Texture LoadOdfOption(const std::string& odf, const std::string& format,
                      const MaterialOptions& options, const ResolvedMaterial& material) {
  namespace fs = std::filesystem;
  if (!fs::exists(odf)) throw Failure("ODF file " + odf + " does not exist");
  // The readers only recognise a hexagonal ODF (and then set the class to hexagonal); any
  // other is taken to belong to the class of the database's first material, the one the
  // window starts with. A material of another class is refused below rather than given
  // stress factors from an ODF of a different symmetry.
  TextureSource source;
  std::string path;
  source.crystalClass = ReadDatabase(options.database, path).front().crystalClass;
  source.path = fs::absolute(odf).string();
  source.format = format == "popla" ? TextureFormat::kPopla : TextureFormat::kMtex;
  NoteInputFile(odf);
  auto read = LoadTexture(source);
  if (!read) {
    std::string text = texture::kODFNotReadMessage;
    if (read.error().message != text) text += "\n" + read.error().Describe();
    RefuseFile(odf, text);
  }
  if (material.crystalClass != read->crystalClass)
    RefuseFile(odf, texture::kODFSymmetryMismatchMessage);
  return std::move(read).value();
}

}  // namespace polydec::cli
