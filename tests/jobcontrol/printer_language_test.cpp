#include "jobcontrol/printer_language.h"

#include <gtest/gtest.h>

namespace Quillfeather {
namespace {

TEST(PrinterLanguage, FromName) {
  EXPECT_EQ(languageFromName("LXPR"), PrinterLanguage::LXPR);
  EXPECT_EQ(languageFromName("ZPL"), PrinterLanguage::ZPL);
  EXPECT_EQ(languageFromName("KTRN8Q"), PrinterLanguage::KTRN8Q);
  for (const char* other : {"", "zpl", "Lxpr", "ZPL ", " ZPL", "KT-RN8Q", "Unknown"}) {
    EXPECT_EQ(languageFromName(other), PrinterLanguage::Unknown) << other;
  }
  EXPECT_EQ(static_cast<int32_t>(PrinterLanguage::KTRN8Q), 3);
}

TEST(PrinterLanguage, PPDLanguageWinsOverSetting) {
  JobSettings settings;
  settings.set("PrinterLanguage", "KTRN8Q");
  EXPECT_EQ(resolvePrinterLanguage(PrinterLanguage::ZPL, settings), PrinterLanguage::ZPL);
  EXPECT_EQ(resolvePrinterLanguage(PrinterLanguage::LXPR, settings), PrinterLanguage::LXPR);
}

TEST(PrinterLanguage, UnknownFallsBackToSetting) {
  JobSettings settings;
  EXPECT_EQ(resolvePrinterLanguage(PrinterLanguage::Unknown, settings), PrinterLanguage::LXPR);
  settings.set("PrinterLanguage", "KTRN8Q");
  EXPECT_EQ(resolvePrinterLanguage(PrinterLanguage::Unknown, settings), PrinterLanguage::KTRN8Q);
  settings.set("PrinterLanguage", "Nonsense");
  EXPECT_EQ(resolvePrinterLanguage(PrinterLanguage::Unknown, settings), PrinterLanguage::Unknown);
}

}  // namespace
}  // namespace Quillfeather
