#pragma once

#include "image/ImageFile.h"
#include "platform/FileDialog.h"

#include <QRandomGenerator>

namespace tavrin {

// A file dialog for the tools in bench/: every showing chooses the path last set.
class ScriptedDialog : public FileDialog {
public:
    explicit ScriptedDialog(QString path = {})
        : m_path(std::move(path)) {}
    void choose(const QString& path) { m_path = path; }
    // Writes 64 random bytes to `path` and chooses it; returns the bytes.
    QByteArray chooseRandomImage(const QString& path) {
        QByteArray image(64, 0);
        for (char& byte : image)
            byte = char(QRandomGenerator::global()->bounded(256));
        (void)ImageFile::write(path, image);
        choose(path);
        return image;
    }

    void setCancelError(bool) override {}
    void setFlags(int) override {}
    void setFilter(const QString&) override {}
    void setFilterIndex(int) override {}
    Answer showOpen() override { return Answer::Chosen; }
    Answer showSave() override { return Answer::Chosen; }
    QString fileName() const override { return m_path; }

private:
    QString m_path;
};

} // namespace tavrin
