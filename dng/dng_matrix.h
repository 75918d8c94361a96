#pragma once
// Small dense matrices and vectors (at most 4 x 4) for colour arithmetic.
#include <cstdint>

class dng_matrix {
  public:
    static constexpr uint32_t kMaxColorPlanes = 4;

    dng_matrix() = default;
    dng_matrix(uint32_t rows, uint32_t cols);
    dng_matrix(const dng_matrix&) = default;
    dng_matrix& operator=(const dng_matrix&) = default;
    virtual ~dng_matrix() = default;

    uint32_t Rows() const { return fRows; }
    uint32_t Cols() const { return fCols; }
    bool IsEmpty() const { return fRows == 0 || fCols == 0; }
    bool NotEmpty() const { return !IsEmpty(); }

    double* operator[](uint32_t row) { return fData[row]; }
    const double* operator[](uint32_t row) const { return fData[row]; }

    void Clear();
    void SetIdentity(uint32_t count);
    bool operator==(const dng_matrix& other) const;

    void Scale(double factor);
    // Rounds every entry to a multiple of 1 / factor.
    void Round(double factor);

  protected:
    uint32_t fRows = 0;
    uint32_t fCols = 0;
    double fData[kMaxColorPlanes][kMaxColorPlanes] = {};
};

class dng_matrix_3by3 : public dng_matrix {
  public:
    dng_matrix_3by3() : dng_matrix(3, 3) {}
    dng_matrix_3by3(double a00, double a01, double a02, double a10, double a11, double a12, double a20,
                    double a21, double a22);
    explicit dng_matrix_3by3(const dng_matrix& m);
};

class dng_vector {
  public:
    dng_vector() = default;
    explicit dng_vector(uint32_t count);
    dng_vector(const dng_vector&) = default;
    dng_vector& operator=(const dng_vector&) = default;
    virtual ~dng_vector() = default;

    uint32_t Count() const { return fCount; }
    bool IsEmpty() const { return fCount == 0; }
    bool NotEmpty() const { return !IsEmpty(); }

    double& operator[](uint32_t index) { return fData[index]; }
    const double& operator[](uint32_t index) const { return fData[index]; }

    void Clear() { fCount = 0; }
    void SetIdentity(uint32_t count);
    bool operator==(const dng_vector& other) const;

    double MaxEntry() const;
    double MinEntry() const;
    void Scale(double factor);
    void Round(double factor);

    dng_matrix AsDiagonal() const;
    dng_matrix AsColumn() const;

  protected:
    uint32_t fCount = 0;
    double fData[dng_matrix::kMaxColorPlanes] = {};
};

class dng_vector_3 : public dng_vector {
  public:
    dng_vector_3() : dng_vector(3) {}
    dng_vector_3(double a0, double a1, double a2);
    explicit dng_vector_3(const dng_vector& v);
};

dng_matrix MatrixMultiply(const dng_matrix& a, const dng_matrix& b);
dng_vector MatrixVectorMultiply(const dng_matrix& a, const dng_vector& v);
dng_matrix MatrixScale(double scale, const dng_matrix& a);
dng_matrix MatrixAdd(const dng_matrix& a, const dng_matrix& b);
dng_matrix Transpose(const dng_matrix& a);
// Non-square matrices give the least-squares pseudo-inverse.
dng_matrix Invert(const dng_matrix& a);
dng_matrix InvertWithHint(const dng_matrix& a, const dng_matrix& hint);

inline dng_matrix operator*(const dng_matrix& a, const dng_matrix& b) { return MatrixMultiply(a, b); }
inline dng_vector operator*(const dng_matrix& a, const dng_vector& v) { return MatrixVectorMultiply(a, v); }
inline dng_matrix operator*(double s, const dng_matrix& a) { return MatrixScale(s, a); }
inline dng_matrix operator+(const dng_matrix& a, const dng_matrix& b) { return MatrixAdd(a, b); }
