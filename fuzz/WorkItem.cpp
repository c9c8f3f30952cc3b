// links: lumidor_platform
// The work-item file parser on any bytes: whatever it accepts, it writes back
// in a form that reads as the same item.
#include "FuzzSupport.h"
#include "platform/WorkItemStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const QByteArray Content(reinterpret_cast<const char*>(Data), qsizetype(Size));
    TWorkItem Item;
    if (!WorkItemStore::Parse(Content, Item))
        return 0;
    const QByteArray Text = WorkItemStore::Serialize(Item);
    TWorkItem Again;
    Fuzz::Check(WorkItemStore::Parse(Text, Again), "a serialized item does not parse", QString::fromUtf8(Text));
    Fuzz::Check(Again == Item, "an item changes on the way through its file", QString::fromUtf8(Text));
    Fuzz::Check(WorkItemStore::Serialize(Again) == Text, "serializing is not stable");
    return 0;
}
