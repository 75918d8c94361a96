#pragma once
// Curves of one variable on [0, 1].
#include <cstdint>

class dng_1d_function {
  public:
    virtual ~dng_1d_function() = default;
    virtual bool IsIdentity() const { return false; }
    virtual double Evaluate(double x) const = 0;
    // A secant search on [0, 1] unless a subclass knows better.
    virtual double EvaluateInverse(double y) const;
};

class dng_1d_identity : public dng_1d_function {
  public:
    bool IsIdentity() const override { return true; }
    double Evaluate(double x) const override { return x; }
    double EvaluateInverse(double y) const override { return y; }
    static const dng_1d_function& Get();
};

// second(first(x)), the intermediate value limited to [0, 1]. Neither function is owned.
class dng_1d_concatenate : public dng_1d_function {
  public:
    dng_1d_concatenate(const dng_1d_function& first, const dng_1d_function& second)
        : fFirst(first), fSecond(second) {}
    bool IsIdentity() const override { return fFirst.IsIdentity() && fSecond.IsIdentity(); }
    double Evaluate(double x) const override;
    double EvaluateInverse(double y) const override;

  private:
    const dng_1d_function& fFirst;
    const dng_1d_function& fSecond;
};

// The inverse of a function it does not own.
class dng_1d_inverse : public dng_1d_function {
  public:
    explicit dng_1d_inverse(const dng_1d_function& f) : fFunction(f) {}
    bool IsIdentity() const override { return fFunction.IsIdentity(); }
    double Evaluate(double x) const override { return fFunction.EvaluateInverse(x); }
    double EvaluateInverse(double y) const override { return fFunction.Evaluate(y); }

  private:
    const dng_1d_function& fFunction;
};
