// A test build of the program whose form description has one defect, chosen by the
// variable PREINSTALL_FORM_DEFECT: the shipped description, compiled under another name,
// without Label8 (the default), with an OnClick on a label ("click-on-label"), or with the
// buttons' tab orders swapped ("tab-order").
#include "ui/Unit1Form.h"

#include <algorithm>
#include <cstdlib>
#include <string>

const FormDescription& ShippedTForm1Description();

namespace {

ComponentDescription& Component(FormDescription& form, const std::string& name)
{
    return *std::find_if(
        form.components.begin(), form.components.end(), [&](const ComponentDescription& c) { return c.name == name; });
}

} // namespace

const FormDescription& TForm1Description()
{
    static const FormDescription form = [] {
        FormDescription copy = ShippedTForm1Description();
        const char* variable = std::getenv("PREINSTALL_FORM_DEFECT");
        const std::string defect = variable != nullptr ? variable : "";
        if (defect == "click-on-label") {
            Component(copy, "Label4").onClick = "Button1Click";
        } else if (defect == "tab-order") {
            std::swap(Component(copy, "Button1").tabOrder, Component(copy, "Button2").tabOrder);
        } else {
            std::erase_if(copy.components, [](const ComponentDescription& c) { return c.name == "Label8"; });
        }
        return copy;
    }();
    return form;
}
