#include "pcd/ResultTexts.h"

#include <utility>

namespace pelkor {

namespace {

struct CodeText {
    int32_t code;
    const char* text;
};

constexpr CodeText DllTexts[] = {
    {-1, "COM port failed"},
    {0, "OK"},
    {1, "Bad COM-Port Parameter"},
    {2, "Bad Baudrate Parameter"},
    {3, "Bad Protocol Parameter"},
    {9, "COM already opened"},
    {12, "Out of memory"},
    {32, "COM don't exist"},
    {35, "Can't open COM"},
    {38, "Bad Windows version"},
    {101, "NAK Response"},
    {102, "Framing Error"},
    {103, "Bad BCC"},
    {104, "Bad Response"},
    {105, "P8 Error"},
    {106, "No Response"},
    {107, "No CTS"},
    {110, "Bad Parameter"},
    {135, "COM Closed"},
};

constexpr CodeText ScommTexts[] = {
    {0, "PCD_OK!"},        {1, " PCD_NAK"},      {2, " PCD_COMERR"},    {3, " PCD_BCCERR"},
    {4, " PCD_INVALID"},   {5, " PCD_P8CONN"},   {6, " PCD_NORESP"},    {8, " PCD_NODCD"},
    {9, " PCD_INUSE"},     {10, " PCD_BADPARM"}, {11, " PCD_VERIFERR"}, {12, " PCD_OUTOFMEM"},
    {13, " PCD_WRONGCPU"}, {14, " PCD_NOCPU"},   {15, " PCD_UNKNOWN"},  {16, " PCD_DIFF"},
    {17, " PCD_CANTOPEN"}, {18, " PCD_WRERROR"}, {19, " PCD_RDERROR"},  {20, " PCD_BADFILE"},
    {21, " PCD_CSERROR"},  {22, " PCD_BADHDR"},  {23, " PCD_CODESIZE"}, {24, " PCD_TEXTSIZE"},
    {25, " PCD_EXTSIZE"},  {26, " PCD_NOTINIT"}, {27, " PCD_EPROM"},    {28, " PCD_CANCEL"},
    {29, " PCD_NOTDEF"},   {30, " PCD_RUNNING"}, {31, " PCD_NOTPROG"},  {34, " PCD_NOCHGEXT"},
    {35, " PCD_NOTOPEN"},  {37, " PCD_COMBUSY"}, {40, " PCD_LOCKED"},
};

template <std::size_t N> const char* Find(const CodeText (&table)[N], int32_t code) {
    for (const auto& e : table)
        if (e.code == code) return e.text;
    return nullptr;
}

} // namespace

std::string PcdDllText(int32_t code) {
    if (const char* t = Find(DllTexts, code)) return t;
    return "Unknow error : " + std::to_string(code);
}

void PcdDllErrorText(RunStatus& status, int32_t code) {
    status.LastErrorText = PcdDllText(code);
}

std::optional<std::string> ScommText(int32_t code) {
    if (const char* t = Find(ScommTexts, code)) return std::string(t);
    return std::nullopt;
}

void ScommErrorText(RunStatus& status, int32_t code) {
    if (auto t = ScommText(code)) status.LastErrorText = std::move(*t);
}

} // namespace pelkor
