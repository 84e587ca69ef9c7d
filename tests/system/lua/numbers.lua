-- Numbers as Lua prints and reads them: the C library's printf and strtod
-- under Lua's own formats. Each line is checked by the test against the
-- host's C formatting of the same values.
local values = {0.1, 1/3, -2.5, 1e15, 1e16, 2^53, 2^63, 123456.789, 1e-5, 6.02214076e23, 5e-324, 1.7976931348623157e308}
for _, v in ipairs(values) do
  print(string.format("%g|%.14g|%.17g|%s", v, v, v, tostring(v)))
  assert(tonumber(string.format("%.17g", v)) == v, "round trip of " .. v)
end
print(string.format("%d|%5.2f|%-6s|%x|%q", 42, math.pi, "ab", 255, 1/3))
print(7 // 2, 7.0 // 2, 7 % -3, -7 % 3, 7 / 2, 3 | 5, 2^10, 10 // 0.0, -10 % math.huge)
print(math.maxinteger, math.mininteger, math.maxinteger + 1 == math.mininteger, math.tointeger(3.0), math.tointeger(3.5))
print(tonumber("0x10"), tonumber("1e2"), tonumber("  12  "), tonumber("12a"), tonumber("z", 36), tonumber("0x1p4"))
print(3 == 3.0, math.type(3), math.type(3.0), math.type("3"), 1e100 // 1, string.format("%.0f", 0.5))
print(string.format("%.3f", 2^-1074), 100000000000000 .. "", 2^31 | 0, "10" + 5, "3.5" * 2)
