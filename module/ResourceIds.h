// Resource identifiers of the module (shared by the resource script and code).
#pragma once

#define IDS_PROJNAME 100
#define IDR_TRNM4ATRANSCODER 101
#define IDR_M4ACONVERTER 102
#define IDR_M4ACONVERTERINFO 103
