#pragma once
// Form7: the DTMF help tool. Twenty rows of a DTMF code and a help text; a DTMF string equal to a
// row's code, or the row's button, hands the row's help text to the speech tool's mailbox.

#include <array>
#include <memory>

#include "controls/controls.h"
#include "hostlink/host_link.h"
#include "settings/settings_file.h"
#include "toolbox/tool.h"

namespace tarnwick {

class Form7 : public Tool {
public:
    static constexpr int kRows = 20;

    explicit Form7(ToolContext& ctx);
    ~Form7() override;

    bool keepsSettings() const override { return true; }
    // Writes TEXT1 to TEXT40, LEFT and TOP into dtmfhelp.ini; a failure is reported, never silent.
    bool SaveData() override;

    // Row n (1..20): code box code(n) (Text1..Text20), help text help(n) (Text21..Text40), button(n).
    TextBox& code(int n) { return *boxes_[n - 1]; }
    TextBox& help(int n) { return *boxes_[kRows + n - 1]; }
    CommandButton& button(int n) { return *buttons_[n - 1]; }

    Label Label1{"Label1", "DTMF"};
    Label Label2{"Label2", "Help Description   "};
    CommandButton Command21{"Command21", "Hide", "Hide this screen"};
    CommandButton Command22{"Command22", "Save", "Save the entered data"};
    CommandButton Command23{"Command23", "About", "About this program"};

    // The window's position in twips.

    HostLink* hostLink() const { return EchoLink.get(); }

protected:
    void Form_Load() override;
    void Form_Unload() override;

private:
    void requestRow(int n);
    void onDTMF(const std::string& digits);

    // Text1..Text40 and Command1..Command20; the models live as long as the program, so the speech
    // mailbox may refer to a help box even after the window was closed.
    std::array<std::unique_ptr<TextBox>, 2 * kRows> boxes_;
    std::array<std::unique_ptr<CommandButton>, kRows> buttons_;
    std::unique_ptr<HostLink> EchoLink;
    SettingsTable table_;
};

}  // namespace tarnwick
