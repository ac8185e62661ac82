// What a form sends when it is submitted: its successful controls, encoded as
// application/x-www-form-urlencoded, by GET in the action's query or as a POST body.

#include <string>

#include "resolve/HtmlDocument.h"

namespace tamsel {

namespace {

bool KeptAsIs(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

void AppendEncoded(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            // Line breaks travel as CR LF whatever the page held.
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            out += "%0D%0A";
        } else if (c == ' ') {
            out += '+';
        } else if (KeptAsIs(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
}

bool SendsValue(const CHtmlFormElement& element) {
    if (element.m_bDisabled || element.m_strName.empty()) {
        return false;
    }
    if (element.m_strTag == "button") {
        return false;  // no button was clicked
    }
    if (element.m_strTag == "input") {
        const std::string& type = element.m_strTypeLower;
        if (type == "submit" || type == "image" || type == "reset" || type == "button" ||
            type == "file") {
            return false;
        }
        if (type == "checkbox" || type == "radio") {
            return element.m_bChecked;
        }
    }
    return true;
}

}  // namespace

std::string EncodeFormData(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string out;
    for (const auto& [name, value] : pairs) {
        if (!out.empty()) {
            out += '&';
        }
        AppendEncoded(out, name);
        out += '=';
        AppendEncoded(out, value);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> CollectFormData(const CHtmlForm& form) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& element : form.m_elements) {
        if (!SendsValue(element)) {
            continue;
        }
        if (element.m_strTag == "select") {
            for (const auto& option : element.m_options) {
                if (option.m_bSelected && !option.m_bDisabled) {
                    pairs.emplace_back(element.m_strName, option.m_strValue);
                }
            }
            continue;
        }
        pairs.emplace_back(element.m_strName, element.m_strValue);
    }
    return pairs;
}

FormSubmission BuildFormSubmission(const CHtmlForm& form) {
    FormSubmission submission;
    const std::string data = EncodeFormData(CollectFormData(form));
    if (form.m_strMethod == "POST") {
        submission.m_strUrl = form.m_strAction;
        submission.m_bPost = true;
        submission.m_strBody = data;
        submission.m_strContentType = "application/x-www-form-urlencoded";
        return submission;
    }
    // GET replaces the action's query with the data and keeps its fragment.
    std::string url = form.m_strAction;
    std::string fragment;
    const size_t hash = url.find('#');
    if (hash != std::string::npos) {
        fragment = url.substr(hash);
        url.erase(hash);
    }
    const size_t question = url.find('?');
    if (question != std::string::npos) {
        url.erase(question);
    }
    submission.m_strUrl = url + "?" + data + fragment;
    return submission;
}

}  // namespace tamsel
