// The device.xml reader on arbitrary files: any bytes, broken or hostile XML (deep nesting,
// entity declarations) included, give a record without crashing, hanging, leaking or growing
// memory out of bounds. Its values have no invariant cheap enough to check here.
#include "productresource.h"
#include "scratchfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ProductResource::readDeviceXml(writeScratchFile(data, size));
    return 0;
}
