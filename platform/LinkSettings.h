#pragma once
// The settings record of one handler, filled from the command line.
#include <cstdint>
#include <string>

struct LinkSettings {
    std::string inputName;
    std::string outputName;
    std::string text;
    std::string link;
    std::string newLink;
    std::string textLink;
    bool remove = false;
    bool change = false;
    bool changePart = false;
    bool create = false;
    std::string textFileName;
    std::string linkFileName;
    bool report = false;
    bool reportAppend = false;
    bool stamp = true;
    std::string reportFileName;
    std::string linkType = "Invisible Rectangle";
    std::string highlightStyle = "Invert";
    std::string lineThickness = "Thin";
    std::string lineStyle = "Solid";
    uint32_t linkColor = 0;
    std::string linkAction = "Open a web page";
    int32_t posLength = 0;  ///< adjustment of x2
    int32_t posHeight = 0;  ///< adjustment of y2
    int32_t posLeft = 0;    ///< adjustment of x1
    int32_t posBottom = 0;  ///< adjustment of y1
    int32_t startPage = 1;
    int32_t endPage = 99999;
    int32_t fontSize = 11;
    int32_t angle = 0;
    bool force = false;
    bool flipV = false;
    bool flipH = false;
    std::string fontName = "Arial";
    std::string align = "left";
    uint32_t textColor = 0;
    std::string fontFileName;
    bool debug = false;
    bool reportPositions = false;
    int32_t posH = 20;
    int32_t posV = 10;
};
