// A test build of the program whose form description lacks Label8: the shipped
// description, compiled under another name, minus that one component.
#include "ui/Unit1Form.h"

#include <algorithm>

const FormDescription& ShippedTForm1Description();

const FormDescription& TForm1Description()
{
    static const FormDescription form = [] {
        FormDescription copy = ShippedTForm1Description();
        std::erase_if(copy.components, [](const ComponentDescription& c) { return c.name == "Label8"; });
        return copy;
    }();
    return form;
}
