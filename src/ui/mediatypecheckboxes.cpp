#include "ui/mediatypecheckboxes.h"

#include "zqmrtpmediatypes.h"

namespace zqm {

namespace {

// T140 text travels as two media types; the second has no settings key of
// its own (the settings enable it with dataT140), so it is named here.
constexpr int32_t kT140SecondMediaType = 0x100004;

constexpr MediaTypeCheckBox kCheckBoxes[] = {
    {1001, "H261", 9, 68, 33, 10, "videoH261", 0},
    {1002, "H263", 9, 78, 33, 10, "videoH263", 0},
    {1004, "H263+", 9, 89, 37, 10, "videoH263+", 0},
    {1007, "H264", 9, 99, 33, 10, "videoH264", 0},
    {1005, "MPEG4", 9, 109, 41, 10, "videoMPEG4", 0},
    {1019, "G711A", 58, 66, 38, 10, "audioG711A", 0},
    {1020, "G711MU", 58, 75, 45, 10, "audioG711MU", 0},
    {1021, "G722", 58, 84, 33, 10, "audioG722", 0},
    {1022, "G7231", 58, 93, 37, 10, "audioG7231", 0},
    {1023, "G729", 58, 102, 33, 10, "audioG729", 0},
    {1024, "G729A", 58, 111, 38, 10, "audioG729A", 0},
    {1025, "TDAC24", 58, 120, 43, 10, "audioTDAC24", 0},
    {1026, "TDAC32", 58, 129, 43, 10, "audioTDAC32", 0},
    {1027, "TDAC32_2", 102, 67, 51, 10, "audioTDAC32_2", 0},
    {1028, "TDAC32_4", 102, 76, 51, 10, "audioTDAC32_4", 0},
    {1029, "TDAC48", 102, 85, 43, 10, "audioTDAC48", 0},
    {1030, "TDAC48_2", 102, 94, 51, 10, "audioTDAC48_2", 0},
    {1031, "TDAC48_4", 102, 103, 51, 10, "audioTDAC48_4", 0},
    {1032, "TDAC64", 102, 112, 43, 10, "audioTDAC64", 0},
    {1033, "TDAC64_2", 102, 121, 51, 10, "audioTDAC64_2", 0},
    {1034, "TDAC64_4", 102, 130, 51, 10, "audioTDAC64_4", 0},
    {1035, "GSM610M", 102, 145, 50, 10, "audioGSM610", 0},
    {1036, "HIERAR", 58, 137, 43, 10, "audioHIERAR", 0},
    {1037, "SCA729", 156, 85, 42, 10, "audioSCA729", 0},
    {1046, "EVRC0", 156, 103, 39, 10, "audioEVRC0", 0},
    {1042, "EVRC", 156, 94, 35, 10, "audioEVRC", 0},
    {1038, "NBAMR", 156, 67, 42, 10, "audioNBAMR", 0},
    {1039, "WBAMR", 156, 76, 44, 10, "audioWBAMR", 0},
    {1056, "G726_16", 209, 67, 45, 10, "audioG726_16", 0},
    {1057, "G726_24", 209, 76, 45, 10, "audioG726_24", 0},
    {1058, "G726_32", 209, 85, 45, 10, "audioG726_32", 0},
    {1059, "G726_40", 209, 94, 45, 10, "audioG726_40", 0},
    {1040, "MPEG4", 58, 145, 41, 10, "audioMPEG4", 0},
    {1045, "CODECX", 102, 137, 47, 10, "audioCODECX", 0},
    {1047, "G7221-24", 156, 112, 47, 10, "audioG7221_24", 0},
    {1048, "G7221-32", 156, 121, 47, 10, "audioG7221_32", 0},
    {1049, "G7221C-24", 156, 130, 52, 10, "audioG7221C_24", 0},
    {1052, "G7221C-32", 156, 138, 50, 10, "audioG7221C_32", 0},
    {1051, "G7221C-48", 156, 146, 52, 10, "audioG7221C_48", 0},
    {1050, "G7291", 58, 154, 37, 10, "audioG7291", 0},
    {1054, "G722_2", 102, 153, 41, 10, "audioG722_2", 0},
    {1055, "G7291_2", 156, 153, 45, 10, "audioG7291_2", 0},
    {1043, "RFC2833", 9, 148, 46, 10, "audioRFC2833", 0},
    {1044, "T140", 9, 139, 33, 10, "dataT140", kT140SecondMediaType},
    {1041, "ATOR", 9, 130, 36, 10, "dataATOR", 0},
};

}  // namespace

std::span<const MediaTypeCheckBox> MediaTypeCheckBoxes() { return kCheckBoxes; }

int32_t MediaTypeOf(const MediaTypeCheckBox& box)
{
    const MediaTypeInfo* row = FindMediaTypeByXmlKey(box.mediaTypeKey);
    return row ? row->id : -1;
}

}  // namespace zqm
