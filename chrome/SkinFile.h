#pragma once
// The skin file format ("blue.smf").
//
//   ; a comment line starts with a semicolon
//   [MainFrame]
//   QMainWindow { background: #eef4fb; }
//   [Dialog]
//   QDialog { background: #f4f8fd; }
//
// A line holding only "[Name]" opens the section of the skin object Name; the lines
// up to the next header are that section's Qt style-sheet text. Lines starting with
// ";" are comments and are dropped. Text before the first header must be blank.
// "${SKIN_DIR}" in a file read from disk stands for the file's folder, so url(...)
// values can name pictures beside the skin. The file is UTF-8. A file is broken when it cannot be
// read, holds no section, has text before the first header, names a section twice or has an empty
// name, or when a section has unbalanced braces, quotes or comments.

#include <QMap>
#include <QString>

namespace tamsel {

struct SkinFile {
    QMap<QString, QString> sections;  // skin object name -> style sheet
};

// Parses skin text. Returns false and leaves `out` empty when the text is broken;
// `error` then says why (with the line number where it is known).
bool ParseSkinText(const QString& text, SkinFile& out, QString* error = nullptr);

// Reads and parses a skin file.
bool ReadSkinFile(const QString& path, SkinFile& out, QString* error = nullptr);

}  // namespace tamsel
