#pragma once
// One PDF value: a kind tag plus a scalar held inline, an owned byte string,
// or a shared handle to an array, dictionary or stream (reference counted).
#include <cstddef>
#include <cstdint>
#include <string>

class CPdfArray;
class CPdfDictionary;
class CPdfStream;
class CPdfXRef;

class CPdfElement {
public:
    enum Kind : int32_t {
        Boolean = 0,
        Integer = 1,
        Real = 2,
        String = 3,
        Name = 4,
        Null = 5,
        Array = 6,
        Dictionary = 7,
        Stream = 8,
        Reference = 9,
        Command = 10,
        Error = 11,
        EndOfInput = 12,
        None = 13,
    };

    CPdfElement();  ///< kind None
    CPdfElement(const CPdfElement& other);
    CPdfElement(CPdfElement&& other) noexcept;
    CPdfElement& operator=(const CPdfElement& other);
    CPdfElement& operator=(CPdfElement&& other) noexcept;
    virtual ~CPdfElement();

    /// Releases the value (drops one reference of a shared target) and sets kind None.
    void free();
    /// Makes this element a copy of src: bytes are copied, containers shared.
    void copy(const CPdfElement& src);
    /// A Reference resolved through xref (Null when it cannot be had); otherwise a copy.
    CPdfElement fetch(CPdfXRef* xref) const;
    /// True when this is a Command whose bytes equal text exactly.
    bool isCommand(const char* text) const;
    /// isCommand for text of len bytes, checked in place (for hot paths).
    bool isCommandOf(const char* text, size_t len) const {
        return kind_ == Command && bytes_.size() == len && bytes_.compare(0, len, text, len) == 0;
    }

    // Setters (each frees the previous value first).
    void setBoolean(bool v);
    void setInteger(int32_t v);
    void setReal(double v);
    void setNull();
    void setError();
    void setEndOfInput();
    void setString(const char* bytes, size_t len);
    void setName(const char* bytes, size_t len);
    void setCommand(const char* bytes, size_t len);
    void setReference(int32_t num, int32_t gen);
    /// A new empty array / dictionary bound to xref (may be null); owned by this element.
    void setNewArray(CPdfXRef* xref);
    void setNewDictionary(CPdfXRef* xref);
    /// Shares an existing dictionary / array / stream (adds one reference).
    void setSharedDictionary(CPdfDictionary* dict);
    void setSharedArray(CPdfArray* array);
    void setStream(CPdfStream* stream);

    // Readers.
    Kind getKind() const { return kind_; }
    bool isNull() const { return kind_ == Null; }
    bool isNone() const { return kind_ == None; }
    bool isBoolean() const { return kind_ == Boolean; }
    bool isInteger() const { return kind_ == Integer; }
    bool isReal() const { return kind_ == Real; }
    bool isNumber() const { return kind_ == Integer || kind_ == Real; }
    bool isString() const { return kind_ == String; }
    bool isName() const { return kind_ == Name; }
    bool isName(const char* name) const;  ///< Name equal to name exactly
    bool isArray() const { return kind_ == Array; }
    bool isDictionary() const { return kind_ == Dictionary; }
    bool isStream() const { return kind_ == Stream; }
    bool isReference() const { return kind_ == Reference; }
    bool isCommandKind() const { return kind_ == Command; }
    bool isError() const { return kind_ == Error; }
    bool isEndOfInput() const { return kind_ == EndOfInput; }

    bool getBoolean() const { return b_; }
    int32_t getInteger() const { return i_; }
    double getReal() const { return d_; }
    /// Integer or Real as double; 0 for other kinds.
    double getNumber() const;
    /// Bytes of a String, Name or Command (empty for other kinds).
    const std::string& getBytes() const;
    CPdfArray* getArray() const;            ///< borrowed; null unless Array
    CPdfDictionary* getDictionary() const;  ///< borrowed; null unless Dictionary (or the dictionary of a Stream)
    CPdfStream* getStream() const;          ///< borrowed; null unless Stream
    int32_t getRefNum() const { return ref_.num; }
    int32_t getRefGen() const { return ref_.gen; }

private:
    Kind kind_;
    union {
        bool b_;
        int32_t i_;
        double d_;
        struct {
            int32_t num, gen;
        } ref_;
        CPdfArray* array_;
        CPdfDictionary* dict_;
        CPdfStream* stream_;
    };
    std::string bytes_;  // String, Name, Command
};
