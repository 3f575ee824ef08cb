#include "meter/MeterVariant.h"

#include <array>

#ifndef VELKOR_VARIANT_NAME
#define VELKOR_VARIANT_NAME "IFHALVIN"
#endif

namespace velkor {

namespace {

using enum MeterVariant;

// In the order the start-up reads the flags.
const std::array<VariantInfo, 6> kVariants = {{
    {IFCASTEM, "IFCASTEM", SerialAssemblerKind::Nibble, 2400, "BRANLO Interface Program _Ver: 2.00",
     std::nullopt, "3", UsbReportHandler::ShowRead, 2400},
    {IFMIRELO, "IFMIRELO", SerialAssemblerKind::Byte, 2400,
     "MIRELO USB Interface Program _Ver: 1.00", std::nullopt, std::nullopt,
     UsbReportHandler::FenwikShowRead, 2400},
    {IFDORVAN, "IFDORVAN", SerialAssemblerKind::Byte, 2400, "VELKOR Interface Program _Ver: 2.06",
     "34", std::nullopt, UsbReportHandler::None, 2400},
    {IFFENWIK, "IFFENWIK", SerialAssemblerKind::Byte, 19200,
     "FENWIK USB Interface Program _Ver: 1.00", "4", std::nullopt, UsbReportHandler::None, 19200},
    {IFGORSEL, "IFGORSEL", SerialAssemblerKind::Byte, 19200,
     "GORSEL USB Interface Program _Ver: 1.00", "4", std::nullopt, UsbReportHandler::None, 2400},
    {IFHALVIN, "IFHALVIN", SerialAssemblerKind::Byte, 2400, "MELDRA for VELKOR_Ver.1.00", "6",
     std::nullopt, UsbReportHandler::HalvinShowRead, 2400},
}};

} // namespace

const VariantInfo& variantInfo(MeterVariant v) {
    for (const auto& info : kVariants) {
        if (info.variant == v) {
            return info;
        }
    }
    return kVariants.back();
}

std::optional<MeterVariant> variantFromName(std::string_view name) {
    for (const auto& info : kVariants) {
        if (name == info.name) {
            return info.variant;
        }
    }
    return std::nullopt;
}

const char* variantName(MeterVariant v) {
    return variantInfo(v).name;
}

MeterVariant buildVariant() {
    static const MeterVariant v = variantFromName(VELKOR_VARIANT_NAME).value_or(IFHALVIN);
    return v;
}

} // namespace velkor
