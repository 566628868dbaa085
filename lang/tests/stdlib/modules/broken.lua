-- A module with a syntax error.
return {
