// The description of the main window, TForm1: every property and component, in
// creation order. The window's look and texts live here and nowhere else.
#include "ui/Unit1Form.h"

#include "resources/ProductName.h"

namespace {

const FontDescription kSongTi{"宋体", -16, clWindowText, TFontCharset::Ansi};

ComponentDescription Label(std::string name, int left, int top, int width, int height, std::string caption)
{
    return {ComponentKind::Label, std::move(name), left, top, width, height, std::move(caption)};
}

ComponentDescription Button(
    std::string name, int left, int top, int width, int height, std::string caption, int tabOrder, std::string onClick)
{
    ComponentDescription button{ComponentKind::Button, std::move(name), left, top, width, height, std::move(caption)};
    button.tabOrder = tabOrder;
    button.onClick = std::move(onClick);
    return button;
}

ComponentDescription WithFont(ComponentDescription component, FontDescription font)
{
    component.font = std::move(font);
    return component;
}

ComponentDescription Hidden(ComponentDescription component)
{
    component.visible = false;
    return component;
}

ComponentDescription SkinData()
{
    ComponentDescription skin{ComponentKind::SkinData, "SkinData1"};
    skin.properties = {
        {"Active", "True"},
        {"DisableTag", "99"},
        {"SkinControls",
            "[xcMainMenu, xcPopupMenu, xcToolbar, xcControlbar, xcCombo, xcCheckBox, xcRadioButton, "
            "xcProgress, xcScrollbar, xcEdit, xcButton, xcBitBtn, xcSpeedButton, xcSpin, xcPanel, "
            "xcGroupBox, xcStatusBar, xcTab, xcTrackBar, xcSystemMenu]"},
        {"Options", "[xoPreview, xoToolbarBK]"},
        {"SkinFormtype", "sfMainform"},
        {"SkinStore", "(Good)"},
        {"Version", "4.11.07.25"},
        {"MenuUpdate", "True"},
        {"MenuMerge", "False"},
    };
    return skin;
}

} // namespace

const FormDescription& TForm1Description()
{
    static const FormDescription form{
        "TForm1",
        "Form1",
        PRODUCT_NAME,
        546,
        259,
        true,
        false,
        clBtnFace,
        kSongTi,
        96,
        {
            WithFont(Label("Label1", 8, 8, 248, 16, "必遵循以下步骤才能完成安装过程:"),
                {"宋体", -16, clWindowText, TFontCharset::Gb2312}),
            Label("Label2", 36, 36, 440, 16, "(1)  如果读写器已连上电脑，请取出，让读写器与电脑分离，"),
            Label("Label3", 36, 104, 448, 16, "(2)  将读写器插到电脑上，如果是WIN2000操作系统则不会出现"),
            Label("Label4", 76, 64, 240, 16, "预装硬件设备的驱动信息，请点击"),
            Label("Label6", 76, 128, 224, 16, "任何提示画面而自动安装成功。"),
            Hidden(WithFont(Label("Label8", 415, 64, 72, 16, "预装成功!"), {"宋体", -16, clBlue, TFontCharset::Ansi})),
            Label("Label39", 74, 152, 421, 16, "如果是WINXP系统则会弹出[发现新的硬件安装向导]，"),
            Label("Label44", 74, 172, 465, 16, "选择\"否，暂时不\"连接到Windows Update搜索软件,弹出下一画面，"),
            Label("Label42", 74, 192, 421, 16, "选择\"自动安装软件\"，并一直点击[下一步]就可成功安装。"),
            Button("Button1", 320, 60, 89, 29, "预装驱动", 0, "Button1Click"),
            Button("Button2", 408, 216, 101, 29, "退出", 1, "Button2Click"),
            SkinData(),
            {ComponentKind::SkinCaption, "SkinCaption1"},
        },
    };
    return form;
}
