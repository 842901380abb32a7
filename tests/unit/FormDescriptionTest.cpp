#include "ui/Unit1Form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

TEST(FormDescription, ComponentNamesAreUniqueSoEveryFieldBindsToOne)
{
    std::set<std::string> names;
    for (const auto& component : TForm1Description().components)
        EXPECT_TRUE(names.insert(component.name).second) << component.name;
}

TEST(FormDescription, SuccessLabelStartsHidden)
{
    const auto& components = TForm1Description().components;
    const auto label = std::find_if(
        components.begin(), components.end(), [](const ComponentDescription& c) { return c.name == "Label8"; });
    ASSERT_NE(label, components.end());
    EXPECT_EQ(label->caption, "预装成功!");
    EXPECT_FALSE(label->visible);
}

TEST(FormDescription, TabOrderFollowsCreationOrderAsTheWindowRelies)
{
    // Windows moves the focus in creation order; the stated tab orders must agree with it.
    int previous = -1;
    int focusable = 0;
    for (const auto& component : TForm1Description().components) {
        if (component.tabOrder < 0)
            continue;
        EXPECT_GT(component.tabOrder, previous) << component.name;
        previous = component.tabOrder;
        ++focusable;
    }
    EXPECT_EQ(focusable, 2);
}
