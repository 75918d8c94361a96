#pragma once
// One camera profile as the application uses it: a DCP file from the user's profile
// folder, or the automatic profile that stands for the decoder's own colour data.
// The decoder reads only isAutoProfile() and the two colour matrices; the stores keep a
// profile as a property-list dictionary naming its file.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/Value.h"

class DNGCameraProfileAbstract {
public:
    static constexpr const char* kClassKey = "Class_of_serialized_Object";
    static constexpr const char* kClassName = "DNGCameraProfileAbstract";
    static constexpr const char* kFileNameKey = "FileName";
    static constexpr const char* kAutoProfileName = "<Lumivar built-in profile>";

    // The automatic profile: no file, identity matrices.
    static std::shared_ptr<DNGCameraProfileAbstract> createAsAutoProfile();
    // A profile read from a DCP file; nullptr when the file cannot be read.
    static std::shared_ptr<DNGCameraProfileAbstract> createFromFile(const std::filesystem::path& file);
    // Rebuilds a stored profile from the profile folder; the automatic profile when the
    // dictionary names no file or the file cannot be read. Never nullptr.
    static std::shared_ptr<DNGCameraProfileAbstract> createFromPList(const platform::Dictionary& plist);

    DNGCameraProfileAbstract();
    virtual ~DNGCameraProfileAbstract();
    DNGCameraProfileAbstract(const DNGCameraProfileAbstract&) = delete;
    DNGCameraProfileAbstract& operator=(const DNGCameraProfileAbstract&) = delete;

    bool localInitFromFile(const std::filesystem::path& file);
    void localInitAsAutoProfile();

    platform::Dictionary objectSerializeForPList() const;

    // True exactly when the profile has no file.
    bool isAutoProfile() const { return !profileURL_; }

    // Row and column 0..2 (XYZ to camera, one row per camera channel); not checked.
    float getcolorMatrix1(int row, int col) const { return colorMatrix1_[row][col]; }
    float getcolorMatrix2(int row, int col) const { return colorMatrix2_[row][col]; }
    void setcolorMatrix1(int row, int col, float value) { colorMatrix1_[row][col] = value; }
    void setcolorMatrix2(int row, int col, float value) { colorMatrix2_[row][col] = value; }

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& uniqueCameraModelRestriction() const { return restriction_; }
    void setUniqueCameraModelRestriction(std::string r) { restriction_ = std::move(r); }
    const std::optional<std::filesystem::path>& profileURL() const { return profileURL_; }
    void setProfileURL(std::optional<std::filesystem::path> url) { profileURL_ = std::move(url); }

    // "restriction : name" when restricted to a camera model, else the name.
    std::string displayName() const;
    std::string description() const { return displayName(); }

    // Profiles are the same when their files have the same name (in whatever folder).
    // Automatic profiles have no file and count as one and the same profile.
    bool isEqual(const DNGCameraProfileAbstract& other) const;
    size_t hash() const;

private:
    float colorMatrix1_[3][3] = {};
    float colorMatrix2_[3][3] = {};
    std::string name_;
    std::string restriction_;
    std::optional<std::filesystem::path> profileURL_;
};
