#pragma once

// The printers ornprint drives: one driver per printer language and resolution. Each names the
// PPD whose defaults and choices its jobs use, so that a job prints exactly as it would through
// rastertoorn with that PPD.
#include <span>
#include <string>
#include <string_view>

namespace OrnPrint {

enum class Language { Lxpr, Ktrn8q, Zpl };

struct MediaSize {
  const char* pwgName;  // self-describing PWG name
  int width;            // hundredths of millimetres
  int length;
};

struct Driver {
  const char* name;
  const char* description;
  Language language;
  const char* ppdFile;     // below the model folder
  const char* resolution;  // the PPD's Resolution choice
  int dpi;
  std::span<const MediaSize> media;
  MediaSize smallest;  // roll minimum and maximum for custom sizes
  MediaSize largest;
};

std::span<const Driver> drivers();
const Driver* findDriver(std::string_view name);

}  // namespace OrnPrint

namespace OrnPrint {
// The PPD of a driver: in $ORNPRINT_MODEL_DIR when that is set, else where `make install` puts
// the models.
std::string modelPath(const Driver& driver);
}  // namespace OrnPrint
