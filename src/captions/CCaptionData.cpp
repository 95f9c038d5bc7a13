#include "CCaptionData.h"

CCaptionData CCaptionData::FirstExample()
{
    CCaptionData caption;
    caption.text = QStringLiteral("Caption Example 1");
    caption.textColour = QStringLiteral("127, 0, 127");
    caption.positionY = 30;
    return caption;
}

CCaptionData CCaptionData::SecondExample()
{
    CCaptionData caption;
    caption.text = QStringLiteral("Caption Example 2 - The time is <HH>:<MM>:<SS>");
    caption.textColour = QStringLiteral("0, 0, 0");
    caption.positionY = 60;
    return caption;
}
