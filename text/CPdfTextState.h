#pragma once
// The state that the text operators of a content stream change: text position,
// line origin, transformation matrices, font and leading, with the chain of
// states saved by q.
#include <cstdint>

class CPdfFont;

class CPdfTextState {
public:
    CPdfTextState();
    /// Copies every field except the saved chain (the copy has none).
    CPdfTextState(const CPdfTextState& other);
    CPdfTextState& operator=(const CPdfTextState&) = delete;
    /// Destroys the saved chain too (iteratively, so a deep chain cannot exhaust the stack).
    ~CPdfTextState();

    /// x, y = the line origin mapped through the text matrix.
    void recompute() {
        x = lineX * textMatrix[0] + lineY * textMatrix[2] + textMatrix[4];
        y = lineX * textMatrix[1] + lineY * textMatrix[3] + textMatrix[5];
    }
    /// ctm = [a b c d e f] x ctm, every component then clamped to -1e10..1e10.
    void concat(const double m[6]);

    /// q: a full copy of cur becomes current, its saved pointing to cur. Returns the copy.
    static CPdfTextState* push(CPdfTextState* cur);
    /// Q: with a saved state, the text position (x, y, lineX, lineY) is handed to it,
    /// cur is destroyed and the saved state returned; otherwise cur is returned unchanged.
    static CPdfTextState* pop(CPdfTextState* cur);
    /// Number of states below this one in the saved chain.
    int depth() const { return depth_; }

    double x = 0, y = 0;          ///< current text position (line origin through the text matrix)
    double lineX = 0, lineY = 0;  ///< line origin in text space (sum of Td moves since BT or Tm)
    double ctm[6] = {1, 0, 0, 1, 0, 0};
    CPdfFont* font = nullptr;     ///< not owned
    double fontSize = 0;
    double textMatrix[6] = {1, 0, 0, 1, 0, 0};
    double leading = 0;
    CPdfTextState* saved = nullptr;  ///< owned

private:
    int depth_ = 0;
};
