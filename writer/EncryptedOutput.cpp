// The output of an encrypted input stays encrypted with the input's handler, file key,
// encryption dictionary and /ID. Objects copied from the file keep their encrypted
// bytes; strings the program puts into an object are encrypted with that object's key;
// objects that leave an object stream, and new objects, are encrypted as a whole when
// they are written (OutputWriter.cpp).
#include "writer/OutputWriter.h"

#include "pdf/CPdfException.h"
#include "pdf/CPdfSecurityHandler.h"
#include "pdf/CPdfXRef.h"
#include "writer/COutputFile.h"
#include "writer/OutputCrypt.h"
#include "writer/PdfString.h"
#include "writer/RawText.h"

bool COutputWriter::StringsEncrypted(int32_t num) const {
    if (!Security() || num < 0 || num == xref_->getEncryptNum()) return false;
    // A page's own copy of a shared object, written under a new number: its strings
    // are put in encrypted with that number's key (WriteEncryptedObject writes it as
    // it stands).
    if (num >= xref_->getNumEntries()) return static_cast<size_t>(num) < entries_.size();
    // A page written directly in its parent's Kids and made an object of its own holds
    // its strings encrypted with its own key (the reading core puts them so).
    const XRefKind kind = xref_->getEntry(num).kind;
    return kind == XRefKind::InFile || kind == XRefKind::InMemory;
}

std::string COutputWriter::StringToken(int32_t num, const std::string& bytes) const {
    if (StringsEncrypted(num))
        return OutputCrypt::HexString(Security()->encryptString(bytes, num, InputGeneration(num)));
    return "(" + EscapePdfString(bytes) + ")";
}

std::string COutputWriter::MoveStrings(const std::string& piece, int32_t from, int32_t to) const {
    const CPdfSecurityHandler* s = Security();
    const bool fromEncrypted = StringsEncrypted(from), toEncrypted = StringsEncrypted(to);
    if (!s || (from == to && fromEncrypted == toEncrypted) || (!fromEncrypted && !toEncrypted)) return piece;
    std::string t = piece;
    size_t end = t.size();
    if (fromEncrypted) end = OutputCrypt::DecryptStrings(*s, t, 0, end, from, InputGeneration(from));
    if (toEncrypted) OutputCrypt::EncryptStrings(*s, t, 0, end, to, InputGeneration(to));
    return t;
}

void COutputWriter::CheckPermissions(const LinkSettings& settings) const {
    const CPdfSecurityHandler* s = Security();
    if (!s) return;
    // Stamping adds to the page content and adds an annotation; creating, removing and
    // changing links change annotations. A report only reads, as a viewer does.
    const bool editsLinks =
        settings.stamp || settings.create || settings.remove || settings.change || settings.changePart;
    const bool content = settings.stamp && !s->allows(CPdfSecurityHandler::kPermModify);
    const bool annotations = editsLinks && !s->allows(CPdfSecurityHandler::kPermAnnotate);
    if (!content && !annotations) return;
    const char* what = content && annotations ? "its content and annotations"
                       : content              ? "its content"
                                              : "its annotations";
    throw CPdfException("Permission denied", std::string("The file's permissions do not allow changing ") + what);
}

void COutputWriter::WriteEncryptedObject(int32_t num, const std::string& text) {
    if (num == xref_->getEncryptNum() || num >= xref_->getNumEntries() ||
        xref_->getEntry(num).kind != XRefKind::InObjectStream) {
        out_->write(text);
        return;
    }
    // A member of an object stream becomes an object of its own: its strings, plain
    // inside the decrypted object stream, get its own key.
    std::string encrypted = text;
    OutputCrypt::EncryptStrings(*security_, encrypted, RawText::BodyStart(encrypted), encrypted.size(), num, 0);
    out_->write(encrypted);
}

void COutputWriter::WriteEncryptionDictionary() {
    if (!Security()) return;
    const int32_t num = xref_->getEncryptNum();
    if (num < 0 || static_cast<size_t>(num) >= entries_.size() || entries_[static_cast<size_t>(num)].written) return;
    // The pass copies it like any other object; should it have been left out, it is
    // written now, as the trailer refers to it.
    std::string text;
    if (!xref_->getRawObjectText(num, text) || text.empty()) throw CPdfException("PDF file was damaged");
    WriteRewrittenObject(num, text);
}
