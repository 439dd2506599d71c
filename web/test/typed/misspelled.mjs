// A movie with the mistakes the typed commands must flag; the line after each "expect:" comment is one.
const movie = window.movie;

export async function mistakes() {
  // expect: a command that does not exist
  await movie.fscommand("GET_CREDITS");
  // expect: an argument without its fields
  await movie.fscommand("UPDATE_METERS", "3");
  // expect: an argument for a command that takes none
  await movie.fscommand("GET_CREDIT", "now");
  // expect: a number where the argument is text
  await movie.fscommand("ADD_TO_BANK", 250);
}

export async function sound() {
  await movie.fscommand("GET_CREDIT");
  await movie.fscommand("UPDATE_METERS", "3,-1,0,0");
  const q = 3;
  await movie.fscommand("UPDATE_METERS", `${q},-1,0,1`);
  await window.fscommand("ADD_TO_HISCORES", "ANN,77,120,,,");
  movie.set("content_version_no", 12);
  return movie.get("vb_credit");
}
