#pragma once
// The About window: the program's name, the node's callsign and the version, a donation choice and
// links to the author's web site and mail.

#include <memory>
#include <string>

#include "hostlink/host_link.h"
#include "toolbox/open_url.h"
#include "toolbox/tool.h"

namespace tarnwick {

// The payment page of a donation amount ("10.00").
std::string donationPage(const std::string& amount);
inline constexpr const char* kAuthorWebSite = "https://addons.tarnwick.example.org/";
inline constexpr const char* kAuthorMail = "mailto:author@example.org?subject=%20Tarnwick%20Program%20";

class Form14 : public Tool {
public:
    explicit Form14(ToolContext& ctx);

    ComboBox Combo1{"Combo1", "Donation Amount", "Enter the Donation amount"};
    CommandButton Command4{"Command4", "Make Donation", "If you like the program why not make a Donation "};
    CommandButton Command2{"Command2", "Web Site", "For more information on this program visit the Pendral web site"};
    CommandButton Command3{"Command3", "Mail", "Send me an email"};
    CommandButton Command1{"Command1", "Hide"};
    Label Label6{"Label6", "Program Here"};
    Label AuthorCall{"Label1", "Q0TWK"};
    Label AuthorName{"Label2", "The Tarnwick developers"};
    Label AuthorAddress{"Label3", "1 Example Road, Example Town"};
    Label AuthorWeb{"Label4", "tarnwick.example.org"};
    std::unique_ptr<HostLink> EchoLink;

protected:
    void Form_Load() override;
    void Form_Unload() override { EchoLink.reset(); }
};

}  // namespace tarnwick
