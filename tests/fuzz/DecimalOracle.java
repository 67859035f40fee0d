import java.math.BigDecimal;
import java.math.BigInteger;

/**
 * What java.math.BigDecimal makes of a decimal text, compared with what the
 * native parser made of it: the parser must accept exactly the texts Java
 * accepts without an exponent whose value fits 31 magnitude bytes, and give
 * the same number with the fraction's trailing zeros dropped.
 */
public final class DecimalOracle {
    private DecimalOracle() {}

    /** Null when both agree, else how they differ. */
    public static String check(String trimmed, boolean accepted, boolean negative, byte[] magnitude, int scale) {
        BigDecimal expected;
        try {
            expected = new BigDecimal(trimmed);
        } catch (NumberFormatException e) {
            return accepted ? "accepted a text Java refuses" : null;
        }
        if (trimmed.indexOf('e') >= 0 || trimmed.indexOf('E') >= 0)
            return accepted ? "accepted an exponent" : null;
        int wantScale = Math.max(expected.stripTrailingZeros().scale(), 0);
        BigInteger unscaled = expected.setScale(wantScale).unscaledValue().abs();
        if (unscaled.bitLength() > 248) return accepted ? "accepted a magnitude beyond 31 bytes" : null;
        if (!accepted) return "refused a text Java accepts";
        BigDecimal ours = new BigDecimal(new BigInteger(negative ? -1 : 1, magnitude), scale);
        if (ours.compareTo(expected) != 0) return "value " + ours + ", Java " + expected;
        if (scale != wantScale) return "scale " + scale + ", expected " + wantScale;
        return null;
    }
}
