#include "ui/format_chooser.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>

#include "ui/accessibility.h"

namespace tarnwick {

namespace {

// The chooser's two lists: the format tags in the order offered, and the formats of the chosen tag.
class FormatChooserDialog : public QDialog {
public:
    FormatChooserDialog(QWidget* parent, const std::vector<FormatChoice>& choices, int current, const std::string& title)
        : QDialog(parent), choices_(choices) {
        installAccessibility();
        setWindowTitle(QString::fromStdString(title));
        auto* form = new QFormLayout(this);
        tags_ = new QComboBox(this);
        formats_ = new QComboBox(this);
        // Named by their job, not by the entry they show.
        tags_->setAccessibleName(QStringLiteral("Format"));
        formats_->setAccessibleName(QStringLiteral("Attributes"));
        form->addRow("Format:", tags_);
        form->addRow("Attributes:", formats_);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        form->addRow(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        for (const auto& c : choices_) {
            const QString tag = QString::fromStdString(c.tagName);
            if (tags_->findText(tag) < 0) tags_->addItem(tag);
        }
        connect(tags_, &QComboBox::currentIndexChanged, this, [this] { fillFormats(-1); });
        const int start = current >= 0 && current < int(choices_.size()) ? current : 0;
        if (!choices_.empty()) {
            QSignalBlocker block(tags_);
            tags_->setCurrentIndex(tags_->findText(QString::fromStdString(choices_[start].tagName)));
        }
        fillFormats(start);
    }

    int chosen() const { return formats_->currentData().isValid() ? formats_->currentData().toInt() : -1; }

private:
    void fillFormats(int select) {
        formats_->clear();
        const std::string tag = tags_->currentText().toStdString();
        for (std::size_t i = 0; i < choices_.size(); ++i) {
            if (choices_[i].tagName != tag) continue;
            formats_->addItem(QString::fromStdString(choices_[i].description), int(i));
            if (int(i) == select) formats_->setCurrentIndex(formats_->count() - 1);
        }
    }

    const std::vector<FormatChoice>& choices_;
    QComboBox* tags_;
    QComboBox* formats_;
};

}  // namespace

int chooseWaveFormat(QWidget* parent, const std::vector<FormatChoice>& choices, int current, const std::string& title) {
    if (choices.empty()) return -1;
    FormatChooserDialog dialog(parent, choices, current, title);
    if (dialog.exec() != QDialog::Accepted) return -1;
    return dialog.chosen();
}

}  // namespace tarnwick
