#include "ui/FormDescription.h"

#include <algorithm>

const ComponentDescription* FindComponent(const FormDescription& form, const std::string& name)
{
    const auto found = std::find_if(form.components.begin(), form.components.end(),
                                    [&](const ComponentDescription& component) { return component.name == name; });
    return found == form.components.end() ? nullptr : &*found;
}
