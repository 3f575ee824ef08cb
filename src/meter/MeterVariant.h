#pragma once

#include <QString>
#include <optional>
#include <string_view>

namespace velkor {

// The meter model a build serves. One variant is active per program; the core
// takes it as a value so every variant can be exercised in one build.
enum class MeterVariant { IFCASTEM, IFMIRELO, IFDORVAN, IFFENWIK, IFGORSEL, IFHALVIN };

inline constexpr MeterVariant kAllVariants[] = {
    MeterVariant::IFCASTEM, MeterVariant::IFMIRELO, MeterVariant::IFDORVAN,
    MeterVariant::IFFENWIK, MeterVariant::IFGORSEL, MeterVariant::IFHALVIN,
};

// Which serial receive handler the variant installs.
enum class SerialAssemblerKind { Byte, Nibble };

// Which USB report handler the variant attaches when USB connect goes down.
enum class UsbReportHandler { None, HalvinShowRead, ShowRead, FenwikShowRead };

struct VariantInfo {
    MeterVariant variant;
    const char* name;
    SerialAssemblerKind assembler;
    int serialBaud;
    const char* caption;
    std::optional<const char*> scaleCode; // empty: "4" stands
    std::optional<const char*> lcdDaText; // empty: the designed "5" stands
    UsbReportHandler usbHandler;
    int usbBaud;
};

const VariantInfo& variantInfo(MeterVariant v);
std::optional<MeterVariant> variantFromName(std::string_view name);
const char* variantName(MeterVariant v);

// The variant this program was built for (fixed by the build system).
MeterVariant buildVariant();

} // namespace velkor
