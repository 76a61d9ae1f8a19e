// orntool convert IN.tif OUT.tif [--compression lzw|deflate]: reads a TIFF image with the
// imaging library's reader and writes it with its writer. "-" names standard input or output.
// The output file is only created once the whole image has been read and encoded.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "imaging/image_io.h"
#include "orntool/command.h"

namespace OrnTool {

namespace {

std::uint16_t parseCompression(std::string_view name) {
  if (name == "lzw") return Tesselin::ImageIO::kCompressionLZW;
  if (name == "deflate") return Tesselin::ImageIO::kCompressionDeflate;
  throw UsageError("unknown compression \"" + std::string(name) + "\" (use lzw or deflate)");
}

int convert(std::span<const std::string_view> arguments) {
  std::vector<std::string_view> files;
  std::uint16_t compression = Tesselin::ImageIO::kCompressionLZW;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--compression") {
      if (i + 1 == arguments.size()) throw UsageError("--compression needs a value");
      compression = parseCompression(arguments[++i]);
    } else if (argument.starts_with("--compression=")) {
      compression = parseCompression(argument.substr(14));
    } else if (argument.starts_with("--")) {
      throw UsageError("unknown option \"" + std::string(argument) + "\"");
    } else {
      files.push_back(argument);
    }
  }
  if (files.size() != 2) throw UsageError("expected an input and an output file");

  Tesselin::Image image;
  if (files[0] == "-") {
    image = Tesselin::ImageIO::ReadFromTIFFFormat(std::cin, nullptr);
  } else {
    std::ifstream in{std::string(files[0]), std::ios::binary};
    if (!in) throw std::runtime_error("cannot open \"" + std::string(files[0]) + "\"");
    image = Tesselin::ImageIO::ReadFromTIFFFormat(in, nullptr);
  }

  std::ostringstream encoded;
  Tesselin::ImageIO::WriteToTIFFFormat(image, encoded, compression);
  const std::string bytes = encoded.str();
  if (files[1] == "-") {
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (!std::cout) throw std::runtime_error("cannot write to standard output");
    return 0;
  }
  std::ofstream out{std::string(files[1]), std::ios::binary | std::ios::trunc};
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write \"" + std::string(files[1]) + "\"");
  return 0;
}

const RegisterCommand kConvert{{"convert", "IN.tif OUT.tif [--compression lzw|deflate]", &convert}};

}  // namespace

}  // namespace OrnTool
