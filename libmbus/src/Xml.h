// The XML documents of parsed replies (Xml.cpp). Texts are written as the
// tables and records carry them (UTF-8 for the table texts).
#pragma once

#include <string>

#include "mbus/mbus-protocol.h"

namespace mbus {

std::string XmlEncode(const std::string& text);
std::string VariableXml(const mbus_data_variable& d, bool normalised);
std::string FixedXml(const mbus_data_fixed& d);
std::string ErrorXml(int error);
std::string HeaderXml(const mbus_data_variable_header& h);
std::string FrameDataXml(const mbus_frame_data& data, bool normalised);
// The reply that starts with `first` and goes on through `next`; throws when
// a frame carries no parsable application data.
std::string ReplyXml(const mbus_frame& first, bool normalised);

}  // namespace mbus
